// The launcher's one window: artwork, buttons, texts, the custom cursor, dragging and the frame loop.
#pragma once
// (Contract sketch; the UI work fills in the members.)
