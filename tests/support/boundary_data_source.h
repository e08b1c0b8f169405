// A data source over records held in memory, counting what the component asks of it.
#pragma once

#include "support/search_fixtures.h"

namespace knntest {

using VectorDataSource = knn_test::MemoryDataSource;

}  // namespace knntest
