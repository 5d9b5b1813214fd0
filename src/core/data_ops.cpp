#include "core/data_ops.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/little_endian.h"

namespace tovask {

namespace {

// Lower-case hexadecimal text of bytes, two digits each.
std::string HexOf(const unsigned char* bytes, unsigned int length) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(std::size_t{length} * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text.push_back(kHex[bytes[i] >> 4]);
    text.push_back(kHex[bytes[i] & 0x0F]);
  }
  return text;
}

constexpr std::uint8_t kSchemeByte = 1;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;
constexpr std::size_t kHeaderSize = 1 + kSaltSize + kNonceSize;  // scheme | salt | nonce
constexpr std::size_t kAadSize = 1 + kSaltSize;                  // scheme | salt
static_assert(DataOps::kKeyChoiceSize == kAadSize);
constexpr std::size_t kKeySize = 64;  // bytes 0..31 for method 1, 32..63 for method 2
static_assert(kHeaderSize + kTagSize == DataOps::kEncryptionOverhead);

constexpr std::uint64_t kScryptN = std::uint64_t{1} << 17;
constexpr std::uint64_t kScryptR = 8;
constexpr std::uint64_t kScryptP = 1;
// N = 2^17, r = 8 needs 128 MiB of working memory; OpenSSL refuses without an explicit limit
// above its 32 MiB default.
constexpr std::uint64_t kScryptMaxMem = std::uint64_t{256} << 20;

// EVP update calls take an int length: feed long blocks in slices well below INT_MAX.
constexpr std::size_t kCipherSlice = std::size_t{1} << 30;

// Window limits of the decoder. A window larger than the output bound is never needed, so the
// limit follows the bound, but not below what ordinary (non-"ultra") levels use for streams of
// unknown size, and not above zstd's own default limit.
constexpr int kMinWindowLogLimit = 23;
constexpr int kMaxWindowLogLimit = 27;

using Salt = std::array<std::uint8_t, kSaltSize>;
using Key = std::array<std::uint8_t, kKeySize>;

struct ZstdCCtxDeleter {
  void operator()(ZSTD_CCtx* ctx) const { ZSTD_freeCCtx(ctx); }
};
struct ZstdDCtxDeleter {
  void operator()(ZSTD_DCtx* ctx) const { ZSTD_freeDCtx(ctx); }
};
struct CipherCtxDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

const EVP_CIPHER* CipherFor(int method) {
  switch (method) {
    case 1:
      return EVP_aes_256_gcm();
    case 2:
      return EVP_chacha20_poly1305();
    default:
      return nullptr;
  }
}

const std::uint8_t* CipherKey(const Key& key, int method) {
  return method == 1 ? key.data() : key.data() + 32;
}

int WindowLogLimitFor(std::size_t maxOutput) {
  int log = kMinWindowLogLimit;
  while (log < kMaxWindowLogLimit && (std::uint64_t{1} << log) < maxOutput) ++log;
  return log;
}

// The refusals made before a frame is decoded: no data frame (a skippable frame, no frame at
// all), an unreadable header, or a declared size above the bound. The header only refuses
// early; the declared size never sizes a buffer.
bool FrameHeaderAcceptable(ByteView frame, std::size_t maxOutput) {
  if (frame.size() < 4 || little_endian::Read<std::uint32_t>(frame) != ZSTD_MAGICNUMBER) {
    return false;
  }
  const unsigned long long declared = ZSTD_getFrameContentSize(frame.data(), frame.size());
  if (declared == ZSTD_CONTENTSIZE_ERROR) return false;
  return declared == ZSTD_CONTENTSIZE_UNKNOWN || declared <= maxOutput;
}

// For a frame that decoded whole to produced bytes: false when its header declared another
// size. zstd checks the declared size only when it decodes a frame in one call, which depends
// on the room given; a damaged frame must be refused however it is decoded.
bool DeclaredSizeMatches(ByteView frameStart, std::size_t produced) {
  const unsigned long long declared = ZSTD_getFrameContentSize(frameStart.data(), frameStart.size());
  return declared == ZSTD_CONTENTSIZE_UNKNOWN || declared == produced;
}

// Decodes the one frame that frame must hold with ctx (a frame it left half-decoded is
// dropped first) into out, and returns the decoded size. The room used grows from a guess made
// from the bytes present (never from the header), doubling, up to maxOutput + 1: one byte past
// the bound tells "exactly the bound" from "more". out itself grows only when the room passes
// its size, so a reused buffer is not shrunk or refilled. nullopt for anything but one whole
// frame of at most maxOutput bytes.
std::optional<std::size_t> DecodeFrame(ZSTD_DCtx* ctx, ByteView frame, std::size_t maxOutput,
                                       Bytes& out) {
  if (ZSTD_isError(ZSTD_DCtx_reset(ctx, ZSTD_reset_session_only)) ||
      ZSTD_isError(
          ZSTD_DCtx_setParameter(ctx, ZSTD_d_windowLogMax, WindowLogLimitFor(maxOutput)))) {
    return std::nullopt;
  }
  const std::size_t capacity = maxOutput == SIZE_MAX ? SIZE_MAX : maxOutput + 1;
  const std::size_t firstSize =
      std::min(capacity, std::clamp<std::size_t>(frame.size() * 4, 4096, 1 << 20));
  std::size_t room = std::min(out.size(), capacity);
  std::size_t produced = 0;
  ZSTD_inBuffer in{frame.data(), frame.size(), 0};
  for (;;) {
    if (produced == room) {
      if (room >= capacity) return std::nullopt;
      room = room == 0 ? firstSize : room > capacity / 2 ? capacity : room * 2;
      if (out.size() < room) out.resize(room);
    }
    ZSTD_outBuffer sink{out.data(), room, produced};
    const std::size_t before = in.pos;
    const std::size_t result = ZSTD_decompressStream(ctx, &sink, &in);
    if (ZSTD_isError(result)) return std::nullopt;
    const bool progressed = in.pos != before || sink.pos != produced;
    produced = sink.pos;
    if (produced > maxOutput) return std::nullopt;
    if (result == 0) {
      // The frame is complete and flushed: anything after it is not ours to ignore.
      if (in.pos != in.size || !DeclaredSizeMatches(frame, produced)) return std::nullopt;
      return produced;
    }
    // Output room left over means the decoder has flushed all it could: with all input
    // consumed, the frame is cut short. No progress at all would otherwise loop forever.
    if (sink.pos < sink.size && (in.pos == in.size || !progressed)) return std::nullopt;
  }
}

void Wipe(std::string& text) {
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

// Runs the AEAD over `in` into `out` (same length), with the additional data first.
bool CipherUpdate(EVP_CIPHER_CTX* ctx, bool encrypting, ByteView aad, ByteView in,
                  std::uint8_t* out) {
  auto update = encrypting ? EVP_EncryptUpdate : EVP_DecryptUpdate;
  int written = 0;
  if (update(ctx, nullptr, &written, aad.data(), static_cast<int>(aad.size())) != 1) return false;
  std::size_t done = 0;
  while (done < in.size()) {
    const std::size_t slice = std::min(kCipherSlice, in.size() - done);
    if (update(ctx, out + done, &written, in.data() + done, static_cast<int>(slice)) != 1) {
      return false;
    }
    if (static_cast<std::size_t>(written) != slice) return false;  // stream ciphers: 1:1
    done += slice;
  }
  return true;
}

// Encrypt's output for one salt and key: scheme byte, salt, a fresh nonce, ciphertext, tag.
// Empty on failure.
Bytes SealWith(ByteView plain, const Salt& salt, const Key& key, const EVP_CIPHER* cipher,
               int method) {
  Bytes out(plain.size() + DataOps::kEncryptionOverhead);
  out[0] = kSchemeByte;
  std::copy(salt.begin(), salt.end(), out.begin() + 1);
  std::uint8_t* nonce = out.data() + 1 + kSaltSize;
  if (RAND_bytes(nonce, static_cast<int>(kNonceSize)) != 1) return {};

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return {};
  if (EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(kNonceSize),
                          nullptr) != 1 ||
      EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, CipherKey(key, method), nonce) != 1) {
    return {};
  }
  if (!CipherUpdate(ctx.get(), /*encrypting=*/true, ByteView(out.data(), kAadSize), plain,
                    out.data() + kHeaderSize)) {
    return {};
  }
  std::uint8_t tail[32];
  int written = 0;
  if (EVP_EncryptFinal_ex(ctx.get(), tail, &written) != 1 || written != 0) return {};
  std::uint8_t* tag = out.data() + kHeaderSize + plain.size();
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, static_cast<int>(kTagSize), tag) != 1) {
    return {};
  }
  return out;
}

}  // namespace

// Salts and derived keys. Entries are few (one per password, plus one per foreign salt met
// while decrypting), so a linear search is enough. A deque never moves its elements, so no
// stale copy of key material is left behind in freed memory.
struct DataOps::KeyCache {
  struct Entry {
    std::string password;
    Salt salt{};
    Key key{};
    bool ownSalt = false;  // the salt Encrypt uses for this password
  };
  std::deque<Entry> entries;

  ~KeyCache() { Clear(); }

  void Clear() {
    for (Entry& entry : entries) {
      Wipe(entry.password);
      OPENSSL_cleanse(entry.salt.data(), entry.salt.size());
      OPENSSL_cleanse(entry.key.data(), entry.key.size());
    }
    entries.clear();
  }

  const Entry* FindOwn(const std::string& password) const {
    for (const Entry& entry : entries) {
      if (entry.ownSalt && entry.password == password) return &entry;
    }
    return nullptr;
  }

  const Entry* Find(const std::string& password, const Salt& salt) const {
    for (const Entry& entry : entries) {
      if (entry.salt == salt && entry.password == password) return &entry;
    }
    return nullptr;
  }

  // Derives the key of (password, salt) and keeps it. Null when the derivation fails.
  // Built in place so that no copy of the key or password is left behind unwiped.
  const Entry* Add(const std::string& password, const Salt& salt, bool ownSalt) {
    Entry& entry = entries.emplace_back();
    entry.password = password;
    entry.salt = salt;
    entry.ownSalt = ownSalt;
    if (EVP_PBE_scrypt(entry.password.data(), entry.password.size(), entry.salt.data(),
                       entry.salt.size(), kScryptN, kScryptR, kScryptP, kScryptMaxMem,
                       entry.key.data(), entry.key.size()) != 1) {
      Wipe(entry.password);
      OPENSSL_cleanse(entry.key.data(), entry.key.size());
      entries.pop_back();
      return nullptr;
    }
    return &entry;
  }

  // Find, else Add, under the lock: the one way in for threads that may run at once
  // (BeginDecrypt). A second thread needing the same key waits for the first one's
  // derivation instead of repeating it.
  const Entry* FindOrAdd(const std::string& password, const Salt& salt) {
    const std::lock_guard lock(mutex);
    if (const Entry* found = Find(password, salt)) return found;
    return Add(password, salt, /*ownSalt=*/false);
  }

  std::mutex mutex;
};

// The context and output buffer of DecompressReused.
struct DataOps::ReusedDecoder {
  std::unique_ptr<ZSTD_DCtx, ZstdDCtxDeleter> ctx{ZSTD_createDCtx()};
  // Its length is the room already made; only the front part holds the last output.
  Bytes buffer;
};

DataOps::DataOps() : cache_(std::make_unique<KeyCache>()) {}

DataOps::~DataOps() = default;

void DataOps::ClearKeyCache() { cache_->Clear(); }

Bytes DataOps::Compress(ByteView input, int level) const {
  try {
    std::unique_ptr<ZSTD_CCtx, ZstdCCtxDeleter> ctx(ZSTD_createCCtx());
    if (!ctx) return {};
    if (ZSTD_isError(ZSTD_CCtx_setParameter(ctx.get(), ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(ctx.get(), ZSTD_c_contentSizeFlag, 1))) {
      return {};
    }
    Bytes out(ZSTD_compressBound(input.size()));
    const std::size_t written =
        ZSTD_compress2(ctx.get(), out.data(), out.size(), input.data(), input.size());
    if (ZSTD_isError(written)) return {};
    out.resize(written);
    return out;
  } catch (const std::exception&) {
    return {};
  }
}

Bytes DataOps::Decompress(ByteView frame, std::size_t maxOutput) const {
  if (!FrameHeaderAcceptable(frame, maxOutput)) return {};
  try {
    std::unique_ptr<ZSTD_DCtx, ZstdDCtxDeleter> ctx(ZSTD_createDCtx());
    if (!ctx) return {};
    Bytes out;
    const std::optional<std::size_t> produced = DecodeFrame(ctx.get(), frame, maxOutput, out);
    if (!produced) return {};
    out.resize(*produced);
    return out;
  } catch (const std::exception&) {
    return {};
  }
}

std::string DataOps::Digest(ByteView input) const {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(input.data(), input.size(), md, &length, EVP_md5(), nullptr) != 1) return {};
  return HexOf(md, length);
}

Bytes DataOps::Encrypt(ByteView plain, const std::string& password, int method) {
  const EVP_CIPHER* cipher = CipherFor(method);
  if (cipher == nullptr) return {};
  try {
    const KeyCache::Entry* entry = cache_->FindOwn(password);
    if (entry == nullptr) {
      Salt salt{};
      if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) return {};
      entry = cache_->Add(password, salt, /*ownSalt=*/true);
      if (entry == nullptr) return {};
    }

    return SealWith(plain, entry->salt, entry->key, cipher, method);
  } catch (const std::exception&) {
    return {};
  }
}

Bytes DataOps::Decrypt(ByteView sealed, const std::string& password, int method) {
  const EVP_CIPHER* cipher = CipherFor(method);
  if (cipher == nullptr) return {};
  if (sealed.size() < kEncryptionOverhead || sealed[0] != kSchemeByte) return {};
  try {
    Salt salt{};
    std::copy_n(sealed.begin() + 1, kSaltSize, salt.begin());
    const KeyCache::Entry* entry = cache_->Find(password, salt);
    if (entry == nullptr) {
      entry = cache_->Add(password, salt, /*ownSalt=*/false);
      if (entry == nullptr) return {};
    }

    const std::uint8_t* nonce = sealed.data() + 1 + kSaltSize;
    const std::size_t length = sealed.size() - kEncryptionOverhead;
    const ByteView body = sealed.subspan(kHeaderSize, length);
    // The tag control takes a non-const pointer; copy it out of the caller's block.
    std::array<std::uint8_t, kTagSize> tag{};
    std::copy_n(sealed.begin() + kHeaderSize + length, kTagSize, tag.begin());

    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return {};
    if (EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(kNonceSize),
                            nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, CipherKey(entry->key, method), nonce) !=
            1) {
      return {};
    }
    Bytes plain(length);
    if (!CipherUpdate(ctx.get(), /*encrypting=*/false, sealed.first(kAadSize), body,
                      plain.data()) ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kTagSize),
                            tag.data()) != 1) {
      return {};
    }
    std::uint8_t tail[32];
    int written = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), tail, &written) != 1 || written != 0) {
      // Wrong password or damaged block: the unauthenticated output is dropped unseen.
      if (!plain.empty()) OPENSSL_cleanse(plain.data(), plain.size());
      return {};
    }
    return plain;
  } catch (const std::exception&) {
    return {};
  }
}

int DataOps::DrawCipherMethod() const {
  std::uint8_t byte = 0;
  if (RAND_bytes(&byte, 1) != 1) return 1;
  return (byte & 1) + 1;
}

struct DataOps::SealingKey {
  Salt salt{};
  Key key{};
  ~SealingKey() {
    OPENSSL_cleanse(salt.data(), salt.size());
    OPENSSL_cleanse(key.data(), key.size());
  }
};

std::shared_ptr<const DataOps::SealingKey> DataOps::SealingKeyFor(const std::string& password) {
  try {
    const KeyCache::Entry* entry = cache_->FindOwn(password);
    if (entry == nullptr) {
      Salt salt{};
      if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) return nullptr;
      entry = cache_->Add(password, salt, /*ownSalt=*/true);
      if (entry == nullptr) return nullptr;
    }
    auto key = std::make_shared<SealingKey>();
    key->salt = entry->salt;
    key->key = entry->key;
    return key;
  } catch (const std::exception&) {
    return nullptr;
  }
}

Bytes DataOps::Seal(ByteView plain, const SealingKey& key, int method) {
  const EVP_CIPHER* cipher = CipherFor(method);
  if (cipher == nullptr) return {};
  try {
    return SealWith(plain, key.salt, key.key, cipher, method);
  } catch (const std::exception&) {
    return {};
  }
}

struct Compressor::State {
  std::unique_ptr<ZSTD_CCtx, ZstdCCtxDeleter> ctx;
  int level = 0;
  // Grown to the bound of the largest input so far and reused; its bytes are written by zstd
  // only, so growing it with a default-initialising resize is never needed.
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t capacity = 0;
};

Compressor::Compressor() : state_(std::make_unique<State>()) {}

Compressor::~Compressor() = default;

ByteView Compressor::CompressInPlace(ByteView input, int level) {
  try {
    State& state = *state_;
    if (!state.ctx || state.level != level) {
      state.ctx.reset(ZSTD_createCCtx());
      if (!state.ctx) return {};
      if (ZSTD_isError(ZSTD_CCtx_setParameter(state.ctx.get(), ZSTD_c_compressionLevel, level)) ||
          ZSTD_isError(ZSTD_CCtx_setParameter(state.ctx.get(), ZSTD_c_contentSizeFlag, 1))) {
        state.ctx.reset();
        return {};
      }
      state.level = level;
    }
    const std::size_t bound = ZSTD_compressBound(input.size());
    if (ZSTD_isError(bound)) return {};
    if (state.capacity < bound) {
      state.buffer.reset();  // the old buffer goes before the new one is taken
      state.capacity = 0;
      // new[] without () leaves the bytes uninitialised: no page is touched before zstd writes.
      state.buffer.reset(new std::uint8_t[bound]);
      state.capacity = bound;
    }
    const std::size_t written = ZSTD_compress2(state.ctx.get(), state.buffer.get(), state.capacity,
                                               input.data(), input.size());
    if (ZSTD_isError(written)) return {};
    return {state.buffer.get(), written};
  } catch (const std::exception&) {
    return {};
  }
}

ByteView DataOps::DecompressReused(ByteView frame, std::size_t maxOutput) {
  if (!FrameHeaderAcceptable(frame, maxOutput)) return {};
  try {
    if (!decoder_) decoder_ = std::make_unique<ReusedDecoder>();
    ZSTD_DCtx* ctx = decoder_->ctx.get();
    if (ctx == nullptr) return {};
    const std::optional<std::size_t> produced =
        DecodeFrame(ctx, frame, maxOutput, decoder_->buffer);
    if (!produced) return {};
    return ByteView(decoder_->buffer.data(), *produced);
  } catch (const std::exception&) {
    return {};
  }
}

Bytes Compressor::Compress(ByteView input, int level) {
  try {
    const ByteView frame = CompressInPlace(input, level);
    return Bytes(frame.begin(), frame.end());
  } catch (const std::exception&) {
    return {};
  }
}

void Compressor::Trim(std::size_t keepBytes) {
  if (state_->capacity <= keepBytes) return;
  state_->buffer.reset();
  state_->capacity = 0;
}

// Streaming decoders.

namespace {

// The longest frame header zstd writes (its ZSTD_FRAMEHEADERSIZE_MAX, which the library
// exposes only to static linking).
constexpr std::size_t kFrameHeaderMax = 18;

// Plain text is handed out in slices of at most this size, through one buffer.
constexpr std::size_t kDecryptSlice = std::size_t{1} << 20;

}  // namespace

struct DataOps::DecryptStream::State {
  CipherCtx ctx;
  std::size_t bodyLeft = 0;  // ciphertext bytes still to come
  std::array<std::uint8_t, kTagSize> tag{};
  std::size_t tagHave = 0;
  Bytes buffer;
  bool failed = false;
};

DataOps::DecryptStream::DecryptStream(std::unique_ptr<State> state) : state_(std::move(state)) {}
DataOps::DecryptStream::DecryptStream(DecryptStream&& other) noexcept = default;
DataOps::DecryptStream& DataOps::DecryptStream::operator=(DecryptStream&& other) noexcept = default;

DataOps::DecryptStream::~DecryptStream() {
  if (state_ && !state_->buffer.empty()) {
    OPENSSL_cleanse(state_->buffer.data(), state_->buffer.size());
  }
}

bool DataOps::DecryptStream::Update(ByteView piece, const PieceSink& out) {
  State& state = *state_;
  if (state.failed) return false;
  try {
    const std::size_t body = std::min(piece.size(), state.bodyLeft);
    std::size_t done = 0;
    while (done < body) {
      const std::size_t slice = std::min(kDecryptSlice, body - done);
      if (state.buffer.size() < slice) state.buffer.resize(slice);
      int written = 0;
      if (EVP_DecryptUpdate(state.ctx.get(), state.buffer.data(), &written, piece.data() + done,
                            static_cast<int>(slice)) != 1 ||
          static_cast<std::size_t>(written) != slice) {
        state.failed = true;
        return false;
      }
      out(ByteView(state.buffer.data(), slice));
      done += slice;
    }
    state.bodyLeft -= body;
    const ByteView rest = piece.subspan(body);
    if (rest.size() > kTagSize - state.tagHave) {
      state.failed = true;  // more than the block holds
      return false;
    }
    std::copy(rest.begin(), rest.end(), state.tag.begin() + state.tagHave);
    state.tagHave += rest.size();
    return true;
  } catch (const std::exception&) {
    state.failed = true;
    return false;
  }
}

bool DataOps::DecryptStream::Finish() {
  State& state = *state_;
  if (state.failed || state.bodyLeft != 0 || state.tagHave != kTagSize) return false;
  state.failed = true;  // one Finish per block
  std::uint8_t tail[32];
  int written = 0;
  return EVP_CIPHER_CTX_ctrl(state.ctx.get(), EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kTagSize),
                             state.tag.data()) == 1 &&
         EVP_DecryptFinal_ex(state.ctx.get(), tail, &written) == 1 && written == 0;
}

std::optional<DataOps::DecryptStream> DataOps::BeginDecrypt(ByteView header, std::size_t sealedSize,
                                                            const std::string& password,
                                                            int method) {
  const EVP_CIPHER* cipher = CipherFor(method);
  if (cipher == nullptr) return std::nullopt;
  if (sealedSize < kEncryptionOverhead || header.size() < kHeaderSize || header[0] != kSchemeByte) {
    return std::nullopt;
  }
  try {
    Salt salt{};
    std::copy_n(header.begin() + 1, kSaltSize, salt.begin());
    const KeyCache::Entry* entry = cache_->FindOrAdd(password, salt);
    if (entry == nullptr) return std::nullopt;

    auto state = std::make_unique<DecryptStream::State>();
    state->ctx.reset(EVP_CIPHER_CTX_new());
    if (!state->ctx) return std::nullopt;
    EVP_CIPHER_CTX* ctx = state->ctx.get();
    const std::uint8_t* nonce = header.data() + 1 + kSaltSize;
    int written = 0;
    if (EVP_DecryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(kNonceSize), nullptr) !=
            1 ||
        EVP_DecryptInit_ex(ctx, nullptr, nullptr, CipherKey(entry->key, method), nonce) != 1 ||
        EVP_DecryptUpdate(ctx, nullptr, &written, header.data(), static_cast<int>(kAadSize)) != 1) {
      return std::nullopt;
    }
    state->bodyLeft = sealedSize - kEncryptionOverhead;
    return DecryptStream(std::move(state));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

struct DecompressStream::State {
  std::unique_ptr<ZSTD_DCtx, ZstdDCtxDeleter> ctx;
  std::size_t maxOutput = SIZE_MAX;
  std::size_t produced = 0;
  Bytes head;  // the frame's first bytes, until its header can be judged
  bool headerChecked = false;
  bool complete = false;  // the frame ended
  bool failed = false;
  Bytes buffer;

  // Decompress's early refusals, judged on the header alone (which the first
  // kFrameHeaderMax bytes, or the whole frame if shorter, hold).
  [[nodiscard]] bool HeaderAcceptable() const { return FrameHeaderAcceptable(head, maxOutput); }

  bool Decode(ByteView piece, const PieceSink& out) {
    if (piece.empty()) return true;
    if (complete) return false;  // bytes after the frame
    ZSTD_inBuffer in{piece.data(), piece.size(), 0};
    for (;;) {
      ZSTD_outBuffer sink{buffer.data(), buffer.size(), 0};
      const std::size_t before = in.pos;
      const std::size_t result = ZSTD_decompressStream(ctx.get(), &sink, &in);
      if (ZSTD_isError(result)) return false;
      produced += sink.pos;
      if (produced > maxOutput) return false;
      if (sink.pos > 0) out(ByteView(buffer.data(), sink.pos));
      if (result == 0) {
        complete = true;
        // The frame is complete: nothing may follow, and it must be as long as it said.
        return in.pos == in.size && DeclaredSizeMatches(head, produced);
      }
      if (sink.pos < sink.size) {
        if (in.pos == in.size) return true;                   // all taken: wait for the next piece
        if (in.pos == before && sink.pos == 0) return false;  // no progress at all
      }
    }
  }
};

DecompressStream::DecompressStream(std::size_t maxOutput) : state_(std::make_unique<State>()) {
  state_->maxOutput = maxOutput;
  state_->ctx.reset(ZSTD_createDCtx());
  if (!state_->ctx || ZSTD_isError(ZSTD_DCtx_setParameter(state_->ctx.get(), ZSTD_d_windowLogMax,
                                                          WindowLogLimitFor(maxOutput)))) {
    state_->failed = true;
    return;
  }
  state_->buffer.resize(ZSTD_DStreamOutSize());
}

DecompressStream::~DecompressStream() = default;

bool DecompressStream::Update(ByteView piece, const PieceSink& out) {
  State& state = *state_;
  if (state.failed) return false;
  try {
    if (!state.headerChecked) {
      const std::size_t take = std::min(piece.size(), kFrameHeaderMax - state.head.size());
      state.head.insert(state.head.end(), piece.begin(), piece.begin() + take);
      piece = piece.subspan(take);
      if (state.head.size() < kFrameHeaderMax) return true;
      state.headerChecked = true;
      if (!state.HeaderAcceptable() || !state.Decode(state.head, out)) {
        state.failed = true;
        return false;
      }
    }
    if (!state.Decode(piece, out)) state.failed = true;
    return !state.failed;
  } catch (const std::exception&) {
    state.failed = true;
    return false;
  }
}

bool DecompressStream::Finish(const PieceSink& out) {
  State& state = *state_;
  if (state.failed) return false;
  if (!state.headerChecked) {
    // A frame shorter than the longest header, now seen whole.
    state.headerChecked = true;
    try {
      if (state.head.empty() || !state.HeaderAcceptable() || !state.Decode(state.head, out)) {
        state.failed = true;
        return false;
      }
    } catch (const std::exception&) {
      state.failed = true;
      return false;
    }
  }
  return state.complete;
}

struct DigestStream::State {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
  bool ok = false;
};

DigestStream::DigestStream() : state_(std::make_unique<State>()) {
  state_->ok = state_->ctx && EVP_DigestInit_ex(state_->ctx.get(), EVP_md5(), nullptr) == 1;
}

DigestStream::~DigestStream() = default;

void DigestStream::Update(ByteView piece) {
  if (state_->ok && !piece.empty()) {
    state_->ok = EVP_DigestUpdate(state_->ctx.get(), piece.data(), piece.size()) == 1;
  }
}

std::string DigestStream::Finish() {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  const bool ok = state_->ok && EVP_DigestFinal_ex(state_->ctx.get(), md, &length) == 1;
  state_->ok = state_->ctx && EVP_DigestInit_ex(state_->ctx.get(), EVP_md5(), nullptr) == 1;
  return ok ? HexOf(md, length) : std::string();
}

namespace detail {

Bytes Scrypt(std::string_view password, ByteView salt, std::uint64_t n, std::uint64_t r,
             std::uint64_t p, std::size_t length) {
  static const std::uint8_t kEmpty[1] = {0};
  Bytes key(length);
  if (length == 0) return {};
  const char* pass = password.empty() ? reinterpret_cast<const char*>(kEmpty) : password.data();
  const std::uint8_t* saltData = salt.empty() ? kEmpty : salt.data();
  if (EVP_PBE_scrypt(pass, password.size(), saltData, salt.size(), n, r, p, kScryptMaxMem,
                     key.data(), key.size()) != 1) {
    return {};
  }
  return key;
}

}  // namespace detail

}  // namespace tovask
