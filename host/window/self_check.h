#pragma once

#include <QString>
#include <string>

namespace host {

class MainWindow;

// The check behind the hidden --self-check-screenshot option, for the test that runs the
// window on a real (virtual) display: waits until the window is on screen and painted, takes a
// screenshot of the whole screen into png (ImageMagick's "import -window root" when it is
// installed, else the display's own grab), and checks that the grid shows the first cells of
// the file it opened from csvPath: the model's texts equal the file's first fields, each cell's
// part of the screenshot equals the grid's own drawing of it, and the cells with text are not
// blank. Writes what it checked to stdout and failures to stderr; returns the exit code (0
// when everything held).
int screenshotSelfCheck(MainWindow& window, const QString& png, const std::string& csvPath);

}  // namespace host
