// The program's start and end: the main window first, the refusals, then every other window
// once, in a fixed order; at the end all are destroyed and each writes its settings.
#pragma once

// Names the program, gives every window the program's icon and creates the windows. False when
// start-up was refused (the JPEG decoder plug-in is missing, or the screen runs with a 256-colour
// palette); nothing is left to destroy then.
bool StartUp();

// Destroys the windows StartUp created, the last created first.
void ShutDown();

// StartUp, the message loop with the main window shown, ShutDown. Returns the exit code.
int RunProgram();
