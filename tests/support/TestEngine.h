#pragma once
// The engine an engine-bound test executable runs on ("embedded" or "postgresql"). Its suites are
// compiled once and linked into one executable per engine; each executable names its engine here.
#include <QString>

namespace corvanta::test {

QString testEngine();

}  // namespace corvanta::test
