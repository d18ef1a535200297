// The user-facing messages of start-up and Play, each in English and Finglish.
#pragma once

#include "sync/Language.hpp"

namespace message {

// Shown both, English first: the language is not known before the server answered.
inline constexpr std::string_view serverUnreachableEnglish =
    "Unable connect to the launcher server, Check your internet connection!\nMaybe our launcher server is under "
    "maintenance for a few minutes, try to connect to the server without the launcher.";
inline constexpr std::string_view serverUnreachableFinglish =
    "Adadme Emkane etesal be servere launcher\nMomkene server launcher baraye chand min dar daste tamir bashe.\n"
    "Lotfan bedone launcher be server motasel beshid.";

// One box in both languages: the language is in the document, which is not read when it cannot be trusted.
inline constexpr std::string_view documentNotVerified =
    "The launcher server's answer could not be verified, so the launcher will not use it. Please try again later, "
    "and tell the server's admins if this keeps happening.\n\n"
    "Javabe server launcher taeed nashod, baraye hamin launcher azash estefade nemikone. Lotfan badan dobare "
    "emtehan konid va age tekrar shod be admin haye server khabar bedid.";

inline constexpr std::string_view launcherTooOldEnglish =
    "Your launcher version is too old please download a new launcher from our website.";
// The Finglish text names the community's website between these two halves.
inline constexpr std::string_view launcherTooOldFinglishBefore =
    "Launcher shoma ghadimi shode, Lotfan launcher jadid ra az site ";
inline constexpr std::string_view launcherTooOldFinglishAfter = " download konid.";

inline constexpr TextPair moveIntoGameFolder{"Please, move the launcher into your folder and then run.",
                                             "Lotfan, Launcher ro toye poshe bazi berizid va bad ejra konid."};
inline constexpr std::string_view downloadGameCaption = "Download the Game";
inline constexpr TextPair downloadGameQuestion{
    "Do you want download the game (16.6 GB)? ",
    "Dar sorati ke bazi ro nadarid, va mikhain bazi ro download konin, roye Yes bezanin, Hajme Bazi (16.6 GB) hast."};

inline constexpr TextPair pleaseWait{"Please wait ...", "Lotfan sabr konid ..."};
inline constexpr TextPair playWhileDownloading{
    "Now, You can play the game, but launcher is under downloading additional files, maybe make a little lag for few "
    "minutes.",
    "Alan Shoma mitonid toye server bazi konin, Ama launcher sayere file haye bazi ro download mikone, pass momkene "
    "chand daghighe lag bashid."};

} // namespace message
