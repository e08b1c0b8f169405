// Marks the names the component exports; everything else is hidden.
#pragma once

#define KNN_EXPORT __attribute__((visibility("default")))
