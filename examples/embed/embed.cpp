// A minimal host: loads the component, creates an algorithm from a settings document,
// builds it from records held in memory, scores one new record and writes the model.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include "host/vel_interfaces.h"
#include "host/vel_missing.h"

namespace {

// Records in the order of the settings' fields: id, x, y, colour (category code), focal.
constexpr int kFields = 5;

const char* const kSettings = R"(<settings>
  <fields>
    <field name="id" optype="continuous" dataType="integer" min="1" max="12"/>
    <field name="x" optype="continuous" dataType="double" min="0" max="10"/>
    <field name="y" optype="continuous" dataType="double" min="0" max="10"/>
    <field name="colour" optype="categorical" dataType="string">
      <value value="red"/><value value="blue"/>
    </field>
    <field name="focal" optype="categorical" dataType="integer" default="0">
      <value value="0"/><value value="1"/>
    </field>
  </fields>
  <targets><field name="colour"/></targets>
  <inputs><field name="x"/><field name="y"/></inputs>
  <param name="CaseIDVar">id</param>
  <param name="FocalVar">focal</param>
  <param name="SpecifiedK">3</param>
  <param name="TempFileDir"></param>
</settings>)";

// The host's side of the data: hands out its records one by one.
class MemorySource : public IVelDataSource {
 public:
  explicit MemorySource(std::vector<std::vector<double>> rows) : rows_(std::move(rows)) {}
  bool Rewind() override {
    next_ = 0;
    return true;
  }
  const VelCommon::Record* NextRecord() override {
    if (next_ >= rows_.size()) return nullptr;
    record_ = VelCommon::Record(rows_[next_++]);
    return &record_;
  }

 private:
  std::vector<std::vector<double>> rows_;
  size_t next_ = 0;
  VelCommon::Record record_;
};

int Fail(const char* step, const VelCommon::VelStatus& status) {
  std::fprintf(stderr, "embed: %s failed with status %ld\n", step, status.GetErrorCode());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : KNN_COMPONENT_FILE;
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "embed: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<GetVelFactoryFunction>(dlsym(library, "GetVelFactory"));
  if (entry == nullptr) {
    std::fprintf(stderr, "embed: no GetVelFactory in %s\n", path);
    return 1;
  }
  int result = 0;
  {
    std::unique_ptr<IVelFactory> factory(entry());
    std::istringstream settings(kSettings);
    std::unique_ptr<IVelAlgorithm> algorithm(factory->CreateVelAlgorithm(settings));
    if (!algorithm) return Fail("CreateVelAlgorithm", factory->GetStatus());

    // Six red points near (2, 2), six blue ones near (8, 8).
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < 12; ++i) {
      const bool blue = i >= 6;
      const double base = blue ? 8.0 : 2.0;
      rows.push_back({i + 1.0, base + 0.3 * (i % 3), base - 0.2 * (i % 2), blue ? 1.0 : 0.0, 0.0});
    }
    MemorySource source(rows);
    VelCommon::VelStatus status = algorithm->Build(source);
    if (status.IsError()) return Fail("Build", status);

    // A new record without a case ID: its neighbours may be any training case.
    const VelCommon::Record record(std::vector<double>{VelMV::gMissingValue, 7.5, 8.0, -1.0, 0.0});
    std::vector<std::vector<double>> results;
    status = algorithm->ScoreRecord(&record, nullptr, &results);
    if (status.IsError()) return Fail("ScoreRecord", status);
    // One result per target: K IDs, K distances, 2 class probabilities, K predicted codes,
    // K case labels.
    const std::vector<double>& r = results.at(0);
    const size_t k = (r.size() - 2) / 4;
    const double predicted = r.at(2 * k + 2 + k - 1);
    std::printf("embed: nearest case %g at distance %g; predicted colour %s (p(blue) = %g)\n", r[0],
                r[k], predicted == 1.0 ? "blue" : "red", r.at(2 * k + 1));
    if (predicted != 1.0) result = 1;

    std::ostringstream pmml;
    status = algorithm->WritePMML(pmml, nullptr);
    if (status.IsError()) return Fail("WritePMML", status);
    std::printf("embed: model document of %zu bytes\n", pmml.str().size());
  }
  // Every object of the component is gone; the library may be unloaded.
  dlclose(library);
  return result;
}
