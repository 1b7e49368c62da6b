#pragma once
// The controller link's texts for the user (UTF-8). "%1", "%2" stand for the
// arguments that formatMessage puts in.

#include <initializer_list>
#include <string>
#include <string_view>

namespace pj::link::msg {

inline constexpr const char* kGetCommStateFailed = "GetCommState Failed";
inline constexpr const char* kSettingsFailed = "设置失败";
inline constexpr const char* kWriteTooLong = "写串口时间过长，目前串口发送缓冲区中的数据数目为空";
inline constexpr const char* kInvalidBaud = "波特率无效";
inline constexpr const char* kCannotOpenPort = "无法打开串口 %1";
inline constexpr const char* kNoPortSet = "没有设置串口，请先选择串口";
inline constexpr const char* kPortBusy = "串口 %1 正被其他程序占用，请先关闭占用它的程序";
inline constexpr const char* kPortBusyBy = "串口 %1 正被 %2 占用，请先关闭该程序";
inline constexpr const char* kNoPermission = "没有权限打开串口 %1";
inline constexpr const char* kPortSettingsRefused = "串口 %1 不接受所需的线路设置";
inline constexpr const char* kListenLineRefused =
    "串口 %1 无法以投影机的波特率 %2 接收回码，未写入任何数据";
inline constexpr const char* kProjectorBaudInvalid = "投影机波特率无效（%1），未写入任何数据";
inline constexpr const char* kKeySlotInvalid = "键位 %1 无效（应为 0 到 17）";
inline constexpr const char* kParityInvalid = "校验 %1 无效（应为 0 无校验、1 奇校验或 2 偶校验）";
inline constexpr const char* kCodesStopped = "写码已停止：已写入 %1 个功能码（共 %2 个）";
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
// `text` with every "%N" (N = 1 to 9) replaced by the N-th of `args`; a "%N"
// without an argument stays as it is.
std::string formatMessage(std::string_view text, std::initializer_list<std::string_view> args);

} // namespace pj::link::msg
