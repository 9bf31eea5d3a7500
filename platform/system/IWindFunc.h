#pragma once

#include <QString>

#include <cstdint>

// A window as the subclassing component identifies it: the native window id.
using WindowHandle = std::intptr_t;

// The power-broadcast message and its answers, numbered as the Windows API
// numbers them, since the program's hook is written against those numbers.
namespace PowerBroadcastCodes {
inline constexpr std::int32_t WM_POWERBROADCAST = 0x218;
// wParam values: may the system suspend? / it suspends now.
inline constexpr std::int32_t PBT_APMQUERYSUSPEND = 0x0;
inline constexpr std::int32_t PBT_APMSUSPEND = 0x4;
// Result values of a query: grant, refuse.
inline constexpr std::int32_t QueryGranted = 1;
inline constexpr std::int32_t BROADCAST_QUERY_DENY = 0x424D5144;
} // namespace PowerBroadcastCodes

// The callback through which the subclassing component reports the messages
// it was asked to deliver. Whatever WindowFunction leaves in lpRetVal is the
// message's result.
class IWindFunc {
public:
    virtual void WindowFunction(WindowHandle& hWnd, std::int32_t& uMsg, std::int32_t& wParam,
                                std::int32_t& lParam, std::int32_t& lpRetVal, bool PreProcess,
                                std::int32_t& CallControl,
                                std::int32_t OriginalWindowProcedureAddress) = 0;
    virtual void SubclassEndNotification(WindowHandle hWnd, std::int32_t Reason,
                                         std::int32_t ErrorNumber, const QString& ErrorSource,
                                         const QString& ErrorDescription, const QString& HelpFile,
                                         std::int32_t HelpContext, std::int32_t LastDLLError) = 0;

protected:
    IWindFunc() = default;
    ~IWindFunc() = default;
    IWindFunc(const IWindFunc&) = default;
    IWindFunc& operator=(const IWindFunc&) = default;
};
