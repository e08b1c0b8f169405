// Being written.
#include "host/vel_settings_parser.h"
