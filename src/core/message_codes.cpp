#include "core/message_codes.h"

namespace tovask {

std::string_view BuiltInMessageText(int code) {
  switch (code) {
    case kMsgPathNotAbsolute:
      return "%1% 不是完整的路径！";
    case kMsgSourceMissing:
      return "源文件 %1% 不存在！";
    case kMsgFolderUnreadable:
      return "读取文件夹 %1% 失败！";
    case kMsgNameNotStorable:
      return "文件名 %1% 不能保存到压缩包中。";
    case kMsgFileTooLarge:
      return "文件 %1% 太大（2 GB 或以上），不能压缩！";
    case kMsgArchiveTooLarge:
      return "压缩包的数据超过 2 GB，不能写出！";
    case kMsgUnsafeEntryName:
      return "文件名 %1% 不安全，没有解压。";
    case kMsgInterrupted:
      return "操作被中断！";
    case kMsgDeleteAllRefused:
      return "不能删除压缩包中的全部文件。";
    case kMsgArchivePathEmpty:
      return "没有指定压缩包文件名！";
    case kMsgUnsafeTargetName:
      return "文件名 %1% 不安全，不能使用。";
    case kMsgInternalFailure:
      return "%1% 失败！";
    case kMsgArchiveBusy:
      return "压缩包 %1% 正被其他程序使用，请稍后再试。";
    case kMsgPasswordNeeded:
      return "文件 %1% 已加密，需要密码才能解压。";
    default:
      return "";
  }
}

}  // namespace tovask
