// Start and end of the windowing runtime as a whole: the calling thread
// becomes the user-interface thread; Reset destroys every window, menu and
// timer, drops waiting messages and forgets the services' state (between
// tests, and at program end after the workers were joined).
#pragma once

namespace win {

// Makes the calling thread the user-interface thread.
void InitRuntime();
// Joins the workers (a short while), destroys everything, forgets state.
void ResetRuntime();

}  // namespace win
