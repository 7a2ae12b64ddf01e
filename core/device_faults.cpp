#include "core/device_faults.h"

#include <utility>

#include "framework/handles.h"

namespace quenlet {
namespace {

struct HookHolder {
    CriticalSection lock;
    DeviceFaultHook hook;
};

HookHolder& holder() {
    static HookHolder installed;
    return installed;
}

}  // namespace

void setDeviceFaultHook(DeviceFaultHook hook) {
    CriticalSectionLock lock(holder().lock);
    holder().hook = std::move(hook);
}

InjectedAnswer injectedAnswer(DeviceCall call) {
    HookHolder& installed = holder();
    CriticalSectionLock lock(installed.lock);
    return installed.hook ? installed.hook(call) : InjectedAnswer{};
}

}  // namespace quenlet
