// The one place where the link's hooks and the window units' hooks are
// filled in: the link reaches the status bar, the progress window and the
// event pump; one window unit reaches another only through these.
#pragma once

void fill_hooks();
