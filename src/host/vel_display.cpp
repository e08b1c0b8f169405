// Being written.
#include "host/vel_display.h"
