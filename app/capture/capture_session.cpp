#include "capture_session.h"

#include "capture/capture_host.h"

CaptureSession::CaptureSession(CaptureHost& host, QObject* parent) : QObject(parent), m_host(host), m_cedDump(host) {}

CaptureSession::~CaptureSession() = default;

void CaptureSession::deviceLost() {}

bool CaptureSession::deviceBack()
{
    return true;
}
