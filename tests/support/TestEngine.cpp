// Compiled into each engine-bound test executable with its own CORVANTA_TEST_ENGINE_NAME.
#include "tests/support/TestEngine.h"

namespace corvanta::test {

QString testEngine()
{
    return QStringLiteral(CORVANTA_TEST_ENGINE_NAME);
}

}  // namespace corvanta::test
