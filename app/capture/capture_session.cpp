#include "capture_session.h"

#include "capture/capture_host.h"
#include "capture/prochrono_remote.h"

CaptureSession::CaptureSession(CaptureHost& host, QObject* parent) : QObject(parent), m_host(host)
{
    m_proChronoRemote = new ProChronoRemoteExchange(host, this);
}

CaptureSession::~CaptureSession() = default;

void CaptureSession::deviceLost()
{
    m_proChronoRemote->deviceLost();
}

bool CaptureSession::deviceBack()
{
    bool resumeNow = true;
    if (!m_proChronoRemote->deviceBack())
        resumeNow = false;
    return resumeNow;
}
