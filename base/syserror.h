#pragma once

#include <QString>

// The system's reason for a failed call, in Chinese: the common error
// numbers in words of their own, any other as "系统错误 <n>" followed by the
// C library's own text.
QString systemErrorText(int errnum);
