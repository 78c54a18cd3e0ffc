#pragma once

#include "support/loopserver.h"

namespace prqtest {

// Serves at /page.html a page that shows `images` different small images
// (/img/N.png, an 8x8 PNG each), as a hostile or careless banner might.
// Call before server.start().
void serveImagePage(LoopServer &server, int images);

} // namespace prqtest
