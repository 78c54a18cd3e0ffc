#include "query/myhttpget.h"

Tmyhttpget::Tmyhttpget(QObject *owner)
    : THTTPGet(owner)
{
}

Tmyhttpget::~Tmyhttpget() = default;
