// Framework headers shared by the program's sources.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>
#include <afxdisp.h>

#include "resource.h"
