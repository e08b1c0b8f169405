#pragma once

#include "support/search_fixtures.h"

namespace knntest {
using VectorDataSource = knn_test::MemoryDataSource;
}  // namespace knntest
