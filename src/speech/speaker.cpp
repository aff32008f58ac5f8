#include "speech/speaker.h"

namespace corvane {

Speaker::~Speaker() = default;

}  // namespace corvane
