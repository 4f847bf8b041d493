// For tests, fuzz targets, benches and the soak tool only: the link's state
// object, to look inside and to set up what a case needs. The program itself
// never includes this header.
#pragma once

#include "link/link_object.h"
