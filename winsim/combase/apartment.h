// The calling thread's Windows Runtime apartment.
#pragma once

namespace winsim::combase {

// True once RoInitialize succeeded on the calling thread.
bool thread_has_apartment();

}  // namespace winsim::combase
