// A control that decides for a page by reading the cache itself: the layer check must refuse it.
#include "cache/RowPath.h"
