// The component's version, as GetVersion answers it.
#pragma once

const char* KNNVersionString();
