// Where the link buttons lead: the addresses the window hands to the shell when one of them is clicked.
#pragma once

#include <string>

/// The addresses as the server sent them; each is handed to the shell unchanged, an empty one as well.
struct LinkAddresses {
    std::string website;
    std::string registration; // the "register" button
    std::string recruit;
    std::string unstuck;
    std::string vote;
    std::string guide;
    std::string donate;
    std::string discord;
};
