#pragma once
// A row of the measurement table as plain values: what a decoder makes of
// an instrument's memory image and what the table appends, without a file.
#include <QString>
#include <array>
#include <cstdint>
#include <variant>

// A field value: none (blank numeric field), integer, floating-point or text.
using FieldValue = std::variant<std::monostate, int64_t, double, QString>;

// The fields the program itself reads and writes, in the table's field
// order (the fields after T are the operator's alone).
enum class Field { N, Date, Time, DevType, Serial, NbType, P, R, Zav, Type, Comment, H, T };
constexpr int kFieldCount = int(Field::T) + 1;

// The rows of the two instruments, by their NB_TYPE value.
enum class ShownKind { Plate = 0, Water = 1 };

struct MeasurementRow {
  // Indexed by Field; a field left blank holds std::monostate.
  std::array<FieldValue, kFieldCount> values;

  FieldValue& operator[](Field f) { return values[size_t(f)]; }
  const FieldValue& operator[](Field f) const { return values[size_t(f)]; }
};
