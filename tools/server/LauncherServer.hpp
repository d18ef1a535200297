// The bundled launcher server: answers get_data.php with a document file and serves a folder of game files.
#pragma once

#include "tools/server/ServerOptions.hpp"

#include <cstdint>
#include <memory>
#include <string>

/// One HTTP server on a thread of its own. Started once; stop() (or destruction) ends every transfer in
/// flight and joins the thread.
class LauncherServer {
public:
    explicit LauncherServer(ServerOptions options);
    ~LauncherServer();
    LauncherServer(const LauncherServer&) = delete;
    LauncherServer& operator=(const LauncherServer&) = delete;

    /// Binds the address and port and starts answering. False (with startError()) when the files folder is
    /// not a folder, the address cannot be bound, or the server was already started.
    [[nodiscard]] bool start();
    [[nodiscard]] std::string startError() const;

    /// The port actually bound (the one the system chose for port 0); 0 before start().
    [[nodiscard]] int port() const;
    /// "http://ADDR:PORT/", the base address to give a launcher.
    [[nodiscard]] std::string baseUrl() const;
    /// "listening on http://…/  document=…  files=… under /files/", the start-up line without the program name.
    [[nodiscard]] std::string describe() const;
    /// Connections accepted since start(); each one is also logged ("connection N opened").
    [[nodiscard]] std::uint64_t connectionCount() const;
    /// True from a successful start() until stop(), unless the accept loop ended by itself.
    [[nodiscard]] bool isRunning() const;

    void stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
