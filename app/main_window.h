// The main window with its menus and controls, and the About window.
#pragma once

#include <string>

namespace app {

// Addresses the links open.
extern const char* const MakerPageURL;
extern const char* const CloverSourceURL;
extern const char* const CloverWikiURL;
extern const char* const RussianForumURL;
extern const char* const DonationURL;

std::string MainWindowTitle();
std::string LatestCloverMenuTitle();
std::string BuildAboutHeader();

void BuildMainWindow();
void OpenAboutWindow();

// Centres the window on the desktop when it reaches past the right or bottom edge.
void KeepWindowOnScreen(int window);
bool IsCursorOverControl(int control);

}  // namespace app
