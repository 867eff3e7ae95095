#pragma once
// The concrete engines behind makeEngine(). Each engine folder defines its own factory.
#include "engines/Engine.h"

#include <memory>

namespace corvanta {

std::unique_ptr<Engine> makeEmbeddedEngine();
std::unique_ptr<Engine> makePostgresEngine();

}  // namespace corvanta
