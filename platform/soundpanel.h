#pragma once

// Opens the desktop's sound settings on their recording page: pavucontrol
// when present, else the GNOME sound panel. Returns false (and logs a
// warning) when neither exists.
bool openSoundPanel();
