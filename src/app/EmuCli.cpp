#include "EmuCli.h"
