// bextkit-gui: the scripting host first, then the application main loop, whose result is the
// exit status.
#include "app/gui/ApplicationMain.h"

int main(int argc, char** argv) {
  bextkit::initializeScriptingHost();
  return bextkit::applicationMain(argc, argv);
}
