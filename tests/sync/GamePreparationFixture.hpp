// The fixtures the Play preparation tests share on every OS: a game folder to work in, and the realm list in it.
#pragma once

#include "sync/GamePreparation.hpp"
#include "sync/Launcher.hpp"

#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class GamePreparationTest : public ::testing::Test {
protected:
    testing_support::TempFolder m_folder;
    testing_support::CurrentFolderGuard m_inFolder{m_folder.path()};
    // The player's other files, beside the game folder: nothing Play does may reach them.
    testing_support::TempFolder m_outside{"varnhold-outside"};
};

// The realm list is the player's file as much as ours: a lock, a link and the names beside it are respected.
class RealmlistTest : public GamePreparationTest {
protected:
    RealmlistWrite write(const std::string& text) {
        Launcher launcher(m_folder.path().string());
        launcher.setRealmlist(std::filesystem::absolute("WTF/realmlist.wtf").string(), text);
        return launcher.writeRealmlist();
    }
    // Everything in WTF/ apart from the realm list itself.
    std::size_t othersInFolder() {
        std::size_t count = 0;
        for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator("WTF"))
            count += entry.path().filename() != "realmlist.wtf" ? 1 : 0;
        return count;
    }
};
