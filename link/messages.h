#pragma once
// The controller link's texts for the user (UTF-8). "%1" stands for the
// argument that formatMessage puts in.

#include <string>
#include <string_view>

namespace pj::link::msg {

inline constexpr const char* kGetCommStateFailed = "GetCommState Failed";
inline constexpr const char* kSettingsFailed = "设置失败";
inline constexpr const char* kWriteTooLong = "写串口时间过长，目前串口发送缓冲区中的数据数目为空";
inline constexpr const char* kInvalidBaud = "波特率无效";
inline constexpr const char* kCannotOpenPort = "无法打开串口 %1";
inline constexpr const char* kPortLost = "串口 %1 已断开";
inline constexpr const char* kWriteFailed = "写串口 %1 失败";
inline constexpr const char* kChooseMachineType = "请选择机器类型";
inline constexpr const char* kUnknownEdition = "未知的中控版本 %1";
inline constexpr const char* kBaudNotSupported = "该中控版本不支持波特率 %1";
inline constexpr const char* kBaudApproximate =
    "该中控版本无法以波特率 %1 与投影机通信（将按38400设置），是否继续？";
inline constexpr const char* kCodeTooLong = "功能码过长（最多61字节）";
inline constexpr const char* kCardTooLong = "ID卡号过长（最多252字节）";
inline constexpr const char* kCardNotEncodable = "ID卡号含有无法发送的字符";
inline constexpr const char* kSearching = "正在查找中控 . . .";
inline constexpr const char* kNotFound = "没有找到合适的中控，请使用 “手工设置” 。";

// `text` with every "%1" replaced by `arg`.
std::string formatMessage(std::string_view text, std::string_view arg);

} // namespace pj::link::msg
