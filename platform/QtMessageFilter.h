#pragma once

// Drops the warnings Qt prints about its own set-up that tell the person running the program
// nothing; every other message goes on to the handler that was there before.
namespace QtMessageFilter {

// Before the application object is made: the first of them comes from its constructor.
void install();

} // namespace QtMessageFilter
