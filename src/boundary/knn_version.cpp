#include "boundary/knn_version.h"

const char* KNNVersionString() {
  return KNN_VERSION;
}
