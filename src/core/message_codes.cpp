#include "core/message_codes.h"

namespace tovask {

std::string LogLine(const LoggedMessage& message) {
  return std::to_string(CodeNumber(message.code)).append(":").append(message.text);
}

std::string_view BuiltInMessageText(ErrorCode code) {
  switch (code) {
    case ErrorCode::PathNotAbsolute:
      return "%1% 不是完整的路径！";
    case ErrorCode::SourceMissing:
      return "源文件 %1% 不存在！";
    case ErrorCode::FolderUnreadable:
      return "读取文件夹 %1% 失败！";
    case ErrorCode::NameNotStorable:
      return "文件名 %1% 不能保存到压缩包中。";
    case ErrorCode::FileTooLarge:
      return "文件 %1% 太大（2 GB 或以上），不能压缩！";
    case ErrorCode::ArchiveTooLarge:
      return "压缩包的数据超过 2 GB，不能写出！";
    case ErrorCode::UnsafeEntryName:
      return "文件名 %1% 不安全，没有解压。";
    case ErrorCode::Interrupted:
      return "操作被中断！";
    case ErrorCode::DeleteAllRefused:
      return "不能删除压缩包中的全部文件。";
    case ErrorCode::ArchivePathEmpty:
      return "没有指定压缩包文件名！";
    case ErrorCode::UnsafeTargetName:
      return "文件名 %1% 不安全，不能使用。";
    case ErrorCode::InternalFailure:
      return "%1% 失败！";
    case ErrorCode::ArchiveBusy:
      return "压缩包 %1% 正被其他程序使用，请稍后再试。";
    case ErrorCode::PasswordNeeded:
      return "文件 %1% 已加密，需要密码才能解压。";
    case ErrorCode::NoApplication:
      return "没有找到能打开文件 %1% 的程序。";
    case ErrorCode::TooManyKeys:
      return "压缩包 %1% 中所选的加密文件需要计算超过 %2% "
             "个不同的密钥，已停止；请分几次选择较少的文件。";
    default:
      return "";
  }
}

}  // namespace tovask
