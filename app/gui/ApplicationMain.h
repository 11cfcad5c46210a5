// The desktop application's start: the scripting host is brought up first, then the main loop
// loads the interface files (ui/*.ui), wakes the objects in them that have awakeFromNib, runs the
// script layer (scripts/*.js) and the event loop. Both come built in as resources; a folder named
// in BEXTKIT_GUI_SCRIPTS, holding ui/ and scripts/, is loaded instead.
#pragma once

namespace bextkit {

// Brings up the scripting host: the bridge the script layer will call through.
void initializeScriptingHost();

// The application main loop over the unchanged arguments; its exit status. 70 when the
// scripting host was not brought up first, or no main window could be loaded.
int applicationMain(int argc, char** argv);

}  // namespace bextkit
