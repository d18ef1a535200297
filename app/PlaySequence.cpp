// The Play sequence: messages, the preparations of the game folder, the start of the game.
#include "app/PlaySequence.hpp"

#include "app/Messages.hpp"
#include "sync/Launcher.hpp"

void runPlaySequence(Launcher& launcher, const PlayContext& context, const Services& services) {
    const Language language = launcher.language();
    if (!launcher.canPlay()) {
        services.showError(message::pleaseWait.in(language));
        return;
    }
    if (!launcher.allDone()) {
        // The game and the remaining downloads will share the line: the music goes quiet first.
        launcher.stopMusic();
        services.showError(message::playWhileDownloading.in(language));
    }
    launcher.prepareGame(context.removals);
    services.openTarget(context.launchTarget);
    if (launcher.allDone() && context.closeWindow)
        context.closeWindow();
}
