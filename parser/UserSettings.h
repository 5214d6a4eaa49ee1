// The user's own defaults for the parser, from the registry of the user who
// runs the player:
//
//   HKEY_CURRENT_USER\Software\corvina
//     LoopByDefault (DWORD)  1: every stream starts with loop playback on,
//                            at loop record 0 (the page's choice); absent or
//                            0: off, as without the setting.
//
// Read when a stream connects, so a change applies from the next file on.
#pragma once

class UserSettings {
public:
    static bool LoopByDefault();
};
