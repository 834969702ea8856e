#include "boundary/CBase.h"

#include "support/CLogH.h"

CBase::CBase(const CLogH* hostLog)
    : reservedFirst(0), ownsLog(true), log(hostLog ? new CLogH(*hostLog) : new CLogH()), inputConnector(true),
      configureCode(1) {
    if (!hostLog) log->setName("CBase");
    log->setDebugGroup(1);
}

CBase::~CBase() {
    if (ownsLog) delete log;
}
