// Console input without line buffering, echo or signal keys, with a one-character look-ahead.
//
// Thread rules: the terminal settings and the kept character are process-wide and unprotected; call
// these functions from one thread only.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

struct termios g_savedSettings;
struct termios g_currentSettings;
bool g_settingsSaved = false;
// The character platformkbhit read ahead, or -1.
int g_peekedCharacter = -1;

int readOneCharacter() {
    unsigned char character;
    return read(STDIN_FILENO, &character, 1) == 1 ? character : -1;
}

}  // namespace

void platformInitializeConsoleInput() {
    if (!g_settingsSaved) {
        if (tcgetattr(STDIN_FILENO, &g_savedSettings) != 0) return;
        g_settingsSaved = true;
    }
    g_currentSettings = g_savedSettings;
    g_currentSettings.c_lflag &= ~(ICANON | ECHO | ISIG);
    g_currentSettings.c_cc[VMIN] = 1;
    g_currentSettings.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &g_currentSettings);
}

void platformDeinitializeConsoleInput() {
    if (g_settingsSaved) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedSettings);
}

int platformkbhit() {
    if (g_peekedCharacter >= 0) return 1;
    struct timeval noWait = {0, 0};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    if (select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &noWait) <= 0) return 0;
    g_peekedCharacter = readOneCharacter();
    return g_peekedCharacter >= 0 ? 1 : 0;
}

int platformgetch() {
    if (g_peekedCharacter >= 0) {
        int character = g_peekedCharacter;
        g_peekedCharacter = -1;
        return character;
    }
    return readOneCharacter();
}
