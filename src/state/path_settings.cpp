#include "state/path_settings.h"

namespace qm {

char OutputPath[kOutputPathSize];
char InputPath[kInputPathSize];
char RelativePath[kRelativePathSize];
bool OutputPathRefused = false;

}  // namespace qm
