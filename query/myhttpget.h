#pragma once

#include "fetch/httpget.h"

#include <QString>

// One request of the window: a fetch with the bookkeeping that routes its
// reply into the result list.
class Tmyhttpget final : public THTTPGet
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tmyhttpget)

public:
    explicit Tmyhttpget(QObject *owner);
    ~Tmyhttpget() override;

    QString mode; // "getpr", "gethttp" or "myurl"
    qint32 rowindex = 0; // the row the reply belongs to; unused for "myurl"
    quint64 listGeneration = 0; // the list the request was started for
};
