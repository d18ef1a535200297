// Binds the services to the platform layer and to the update of the running program.
#include "app/Services.hpp"

#include "platform/Dialogs.hpp"
#include "platform/Shell.hpp"

Services Services::platform() {
    Services services;
    services.showError = [](std::string_view text) { platform::ShowError(text); };
    services.askYesNo = [](std::string_view caption, std::string_view text) {
        return platform::AskYesNo(caption, text);
    };
    services.openTarget = [](const std::string& target) { return platform::OpenTarget(target); };
    services.openAddress = [](const std::string& address) { return platform::OpenAddress(address); };
    services.updateLauncher = ::updateLauncher;
    return services;
}
