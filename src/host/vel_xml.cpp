// Being written.
#include "host/vel_xml.h"
