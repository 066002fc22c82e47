// The USB storage switch: a modprobe rule that keeps the usb-storage module
// from loading, and, when switching off, an attempt to unload the module
// (a stick already in use). The unloading runs as a child that the daemon
// only looks at from its loop; it never waits for it.
#ifndef TAV_STUDENTD_USBSTORAGE_H
#define TAV_STUDENTD_USBSTORAGE_H

#include <sys/types.h>

#include <chrono>
#include <string>

namespace studentd {

class UsbStorageSwitch {
public:
    // The text of the rule file while USB storage is off.
    static const char* const kRule;

    UsbStorageSwitch(std::string ruleFile, std::string modprobe)
        : m_ruleFile(std::move(ruleFile)), m_modprobe(std::move(modprobe))
    {}
    ~UsbStorageSwitch();
    UsbStorageSwitch(const UsbStorageSwitch&) = delete;
    UsbStorageSwitch& operator=(const UsbStorageSwitch&) = delete;

    // On: the rule file is removed. Off: it is written (unless it already
    // holds the rule) and the module's unloading starts. False, with the
    // reason, when the file cannot be written or removed.
    bool Apply(bool enabled, std::string& error);
    // Reaps the unloading child when it has ended (its failure is logged)
    // and ends one that takes too long. Call now and then.
    void Poll();

private:
    using Clock = std::chrono::steady_clock;

    void StartUnload();

    const std::string m_ruleFile;
    const std::string m_modprobe;
    pid_t m_child = -1;
    Clock::time_point m_started{};
};

} // namespace studentd

#endif
