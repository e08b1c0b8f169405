// Variables and the variable list that the settings parser fills.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#define VelMTD_NAMESPACE VelMTD

namespace VelMTD {

// Measure kinds answered by IVelVariable::GetMeasureKind.
enum MeasureKind : int { kContinuous = 1, kNumericCategorical = 2, kStringCategorical = 3 };
// Date kinds answered by IVelVariable::GetDateKind (0: an ordinary number).
enum DateKind : int { kNoDate = 0, kDate = 4, kTime = 5, kDateTime = 6 };

// The categories of a categorical variable: category code i is the i-th entry.
class VelCategories {
 public:
  int Size() const { return static_cast<int>(values_.size()); }
  // Value text of category index (as written in the settings document).
  const std::string& CategoryValue(int index) const {
    return values_[static_cast<std::size_t>(index)];
  }
  // Numeric value of category index (numeric categorical variables; 0 for strings).
  double CategoryNumber(int index) const { return numbers_[static_cast<std::size_t>(index)]; }
  // One display label per category, or empty when the categories carry no labels.
  const std::vector<std::string>& CategoryLabels() const { return labels_; }

  void Add(const std::string& value, double number, const std::string* label);
  // Code of the category whose value text is value (numerically for numeric categories),
  // or -1 when there is none.
  int FindCode(const std::string& value, bool numeric) const;

 private:
  std::vector<std::string> values_;
  std::vector<double> numbers_;
  std::vector<std::string> labels_;
};

// How stored values of a variable read as texts.
class IVelValueCodec {
 public:
  virtual ~IVelValueCodec() = default;
  virtual bool IsMissingValue(double value) const = 0;
  virtual bool IsMissingText(const std::string& text) const = 0;
  // Text of the category with that index (its value text); empty for a bad index.
  virtual std::string CategoryLabel(int index) const = 0;
  // Numeric value of the category with that index; the missing value for a bad index.
  virtual double CategoryNumber(int index) const = 0;
};

class IVelVariable : public IVelValueCodec {
 public:
  ~IVelVariable() override = default;
  virtual int GetMeasureKind() const = 0;
  virtual const std::string& GetName() const = 0;
  virtual const std::string& GetDisplayName() const = 0;
  virtual int GetDateKind() const = 0;
  virtual int GetCategoryCount() const = 0;
  virtual const IVelValueCodec* GetValueCodec() const { return this; }
  // Null for a continuous variable.
  virtual const VelCategories* GetCategories() const = 0;

  // What a data source does when its data has no column for this variable.
  bool HasDefault() const { return hasDefault_; }
  const std::string& GetDefaultText() const { return defaultText_; }
  bool IsGeneratedRowNumber() const { return generatedRowNumber_; }
  void SetDefaultText(const std::string& text) {
    hasDefault_ = true;
    defaultText_ = text;
  }
  void SetGeneratedRowNumber(bool flag) { generatedRowNumber_ = flag; }

  bool IsMissingValue(double value) const override;
  bool IsMissingText(const std::string& text) const override;

 protected:
  std::string name_;
  std::string displayName_;

 private:
  bool hasDefault_ = false;
  bool generatedRowNumber_ = false;
  std::string defaultText_;
};

class VelContVar : public IVelVariable {
 public:
  // An absent bound is passed as the most negative / largest finite double.
  VelContVar(const std::string& name, double min, double max, int dateKind = kNoDate,
             const std::string& displayName = std::string());

  int GetMeasureKind() const override { return kContinuous; }
  const std::string& GetName() const override { return name_; }
  const std::string& GetDisplayName() const override { return displayName_; }
  int GetDateKind() const override { return dateKind_; }
  int GetCategoryCount() const override { return 0; }
  const VelCategories* GetCategories() const override { return nullptr; }
  std::string CategoryLabel(int) const override { return std::string(); }
  double CategoryNumber(int) const override;

  double GetMin() const { return min_; }
  double GetMax() const { return max_; }

 private:
  double min_;
  double max_;
  int dateKind_;
};

class VelCatVar : public IVelVariable {
 public:
  VelCatVar(const std::string& name, bool numeric, const VelCategories& categories,
            const std::string& displayName = std::string());
  // Takes over the categorical definition (categories and kind); the name stays.
  VelCatVar& operator=(const VelCatVar& other);
  VelCatVar(const VelCatVar&) = default;

  int GetMeasureKind() const override {
    return numeric_ ? kNumericCategorical : kStringCategorical;
  }
  const std::string& GetName() const override { return name_; }
  const std::string& GetDisplayName() const override { return displayName_; }
  int GetDateKind() const override { return kNoDate; }
  int GetCategoryCount() const override { return categories_.Size(); }
  const VelCategories* GetCategories() const override { return &categories_; }
  std::string CategoryLabel(int index) const override;
  double CategoryNumber(int index) const override;

  bool IsNumeric() const { return numeric_; }

 private:
  bool numeric_;
  VelCategories categories_;
};

// The variables of one settings document, in record order. Owns its variables.
class VelVarList {
 public:
  VelVarList() = default;
  VelVarList(const VelVarList&) = delete;
  VelVarList& operator=(const VelVarList&) = delete;
  virtual ~VelVarList();

  // Index of the variable with that name, or -1.
  int FindVariable(const std::string& name) const;
  // The variable at index, or null for a bad index.
  IVelVariable* GetVarAt(int index) const;
  int Size() const { return static_cast<int>(variables_.size()); }
  // Every variable name in list order, and one further name: the name under which this
  // host numbers records when it must (always empty here; no extra column is added).
  void GetVarNames(std::vector<std::string>& names, std::string& furtherName) const;

  // Takes ownership; returns the new variable's index.
  int Add(std::unique_ptr<IVelVariable> variable);
  void Clear();

 private:
  std::vector<std::unique_ptr<IVelVariable>> variables_;
};

}  // namespace VelMTD
