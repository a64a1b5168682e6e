#include "ui/render/text_anti_alias.h"

bool g_textAntiAlias = false;
