#include "capture_session.h"

#include "capture/capture_host.h"
#include "capture/chrony_memory_exchange.h"
#include "capture/prochrono_remote.h"

CaptureSession::CaptureSession(CaptureHost& host, QObject* parent)
    : QObject(parent), m_host(host), m_chronyMemory(new ChronyMemoryExchange(host, this)), m_cedDump(host),
      m_proChronoRemote(new ProChronoRemoteExchange(host, this))
{
    connect(m_chronyMemory, &ChronyMemoryExchange::resumedAfterReturn, this, &CaptureSession::captureResumed);
}

CaptureSession::~CaptureSession() = default;

QString CaptureSession::deviceLost()
{
    m_proChronoRemote->deviceLost();
    return m_chronyMemory->deviceLost();
}

bool CaptureSession::deviceBack()
{
    // Each exchange cut by the loss is told; capture resumes now only when none has to send first.
    const bool proChronoReady = m_proChronoRemote->deviceBack();
    const bool chronyReady = m_chronyMemory->deviceBack();
    return proChronoReady && chronyReady;
}

bool CaptureSession::skipDownloadedShot()
{
    return m_chronyMemory->skipDownloadedShot();
}
