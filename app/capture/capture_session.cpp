#include "capture_session.h"

#include "capture/capture_host.h"
#include "capture/chrony_memory_exchange.h"

CaptureSession::CaptureSession(CaptureHost& host, QObject* parent)
    : QObject(parent), m_host(host), m_chronyMemory(new ChronyMemoryExchange(host, this)), m_cedDump(host)
{
    connect(m_chronyMemory, &ChronyMemoryExchange::resumedAfterReturn, this, &CaptureSession::captureResumed);
}

CaptureSession::~CaptureSession() = default;

QString CaptureSession::deviceLost()
{
    return m_chronyMemory->deviceLost();
}

bool CaptureSession::deviceBack()
{
    return m_chronyMemory->deviceBack();
}

bool CaptureSession::skipDownloadedShot()
{
    return m_chronyMemory->skipDownloadedShot();
}
