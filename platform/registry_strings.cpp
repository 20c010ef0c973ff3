// The program's own registry strings, the same on every system.
#include "platform/platform.h"

namespace platform {

std::string readRegistryString(const std::string& subKey, const std::string& valueName) {
    std::optional<std::string> value = registryRead(subKey, valueName);
    if (!value) {
        return {};
    }
    return value->substr(0, value->find('\0'));
}

bool writeRegistryString(const std::string& subKey, const std::string& valueName,
                         const std::string& data) {
    if (!registryWrite(subKey, valueName, data)) {
        debugLog("创建注册表失败");
        return false;
    }
    return true;
}

}  // namespace platform
