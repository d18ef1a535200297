// Where the link buttons lead: the addresses the window hands to the shell when one of them is clicked.
#pragma once

#include <string>

/// The addresses the link buttons open; the window hands each on as it stands, an empty one as well.
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
