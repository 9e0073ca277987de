#include "UploadTypes.h"
