// The message catalogue: numbered error and prompt texts from the editable message file
// (MessageFilePath, startup.h). Lookups see the file as it is then, so an edit, a replacement
// or a removal takes effect without a restart; the parsed file is kept in the context
// (AppContext::messageFile, message_file_cache.h says exactly when it is looked at again).
//
// Threads: ErrorText and TitleText refresh that cache, so calls on one context must come from
// one thread (the desktop program's UI thread, which runs the operations); contexts of their
// own on other threads are independent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/app_context.h"
#include "core/message_codes.h"
#include "platform/bytes.h"

namespace tovask {

// Records one error: clears stepOk and appends "code:text" to errorLog (joined by CR LF).
// The text is the [Error] value of code, else the value of code 0, else the built-in last
// resort; codes from 100 up fall back to their built-in text (message_codes.h) before code 0.
// An empty value counts as missing. "/n" in the message text becomes CR LF; then "%1%".."%5%"
// are replaced by the given arguments in that order (each on the result of the previous
// replacement, so an argument holding "%2%" is filled in by argument 2). The arguments' own
// text is not scanned for "/n": paths contain it. Each argument goes in with its control
// characters escaped (EscapeControlCharacters); the message text itself is taken as it
// stands. Placeholders without an argument stay.
void ErrorText(AppContext& context, ErrorCode code, const std::vector<std::string>& args = {});

// A prompt or progress text from [Title]: the same lookup and replacement (arguments escaped),
// with no code prefix and no "/n" replacement; the error log and stepOk are left alone.
[[nodiscard]] std::string TitleText(const AppContext& context, TitleCode code,
                                    const std::vector<std::string>& args = {});

// The default message file, byte for byte: 46 GBK lines ending in CR LF, 1414 bytes.
[[nodiscard]] const Bytes& DefaultMessageFile();

}  // namespace tovask
