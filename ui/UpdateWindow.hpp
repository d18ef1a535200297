// The small window shown while the launcher updates itself: what it is doing, and how far the download has come.
#pragma once

#include "sync/Language.hpp"
#include "ui/ProgressBar.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/System/Clock.hpp>

#include <memory>
#include <string>

struct StatusLine;

class UpdateWindow {
public:
    inline static constexpr const char* windowTitle = "Varnhold Launcher Update";
    inline static constexpr unsigned width = 440;
    inline static constexpr unsigned height = 110;

    /// Words of the progress line in `language`.
    explicit UpdateWindow(Language language);
    ~UpdateWindow();
    UpdateWindow(const UpdateWindow&) = delete;
    UpdateWindow& operator=(const UpdateWindow&) = delete;

    /// Opens the window, with a title bar and a close button; prints "update window: <id>" on standard output so
    /// that tools driving the launcher can find it. The display must be there (see platform::DisplayConnection).
    void create();

    /// One frame showing `line`'s status text and download progress, paced to the frame rate. False once the
    /// player closed the window, or the system asked the launcher to end.
    bool frame(const StatusLine& line);

    /// The status text as shown (UTF-8), for tests and tools.
    [[nodiscard]] const std::string& text() const noexcept { return m_text; }

private:
    sf::Font m_font;
    sf::Text m_status;
    ProgressBar m_progress;
    std::string m_text;
    sf::Clock m_clock;
    std::unique_ptr<sf::RenderWindow> m_window;
};
