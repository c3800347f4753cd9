// The exit list: what runs when WinMain has returned (the destructors of
// global and function-local static objects, and atexit functions).
#pragma once

// Runs every registered function, the last registered first, each once.
// Functions registered while the list runs run as well, before those
// registered earlier.
void RunExitList();
