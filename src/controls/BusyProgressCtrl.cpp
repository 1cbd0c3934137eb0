#include "controls/BusyProgressCtrl.h"

#include "framework/DialogTemplate.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <system_error>
#include <thread>

// One animation thread. It pauses on `wake` so that Stop ends it at once instead of after a whole
// interval, and reports its end through `done` so that Stop can wait with a time limit.
struct CBusyProgressCtrl::AnimationThread {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool done = false;
    std::thread thread;

    // Only ever destroyed after it was told to stop; its body never blocks, so this returns soon.
    ~AnimationThread()
    {
        if (thread.joinable())
            thread.join();
    }
    void RequestStop()
    {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
    }
    bool Finished()
    {
        std::lock_guard lock(mutex);
        return done;
    }
};

namespace {
// Dropping the fraction, clamped to int: stale or absurd settings must not overflow a conversion.
int Truncate(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(value, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

int ClampToInt(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

// Request arguments are 32-bit integers.
int ArgInt(std::uintptr_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

// A rectangle from its left, top and exclusive right and bottom edges.
QRect FromEdges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

std::chrono::milliseconds Milliseconds(long long ms) { return std::chrono::milliseconds(std::max(ms, 0LL)); }
} // namespace

CBusyRequestEvent::CBusyRequestEvent(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
    : QEvent(EventType())
    , m_msg(msg)
    , m_wParam(wParam)
    , m_lParam(lParam)
{}

QEvent::Type CBusyRequestEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CBusyProgressCtrl::CBusyProgressCtrl(int nBlockCount, int nPosition, QWidget* parent)
    : QLabel(parent)
    , m_nBlockCount(nBlockCount)
    , m_nPosition(nPosition)
    , m_nTotalSubSteps(ClampToInt(5LL * nBlockCount))
    , m_crBack(ButtonFaceColor())
{
    // Every paint covers the whole control.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CBusyProgressCtrl::~CBusyProgressCtrl()
{
    {
        std::lock_guard lock(m_threadMutex);
        StopLocked();
        m_stoppedThreads.clear(); // joins the late ones; they were told to stop
    }
    ReleaseBuffer();
}

bool CBusyProgressCtrl::Create(QWidget* parent, const QRect& rect, int id)
{
    if (parent == nullptr)
        return false;
    setParent(parent);
    setText(QStringLiteral("BusyProgressCtrl")); // never drawn
    SetDlgCtrlID(this, id);
    setGeometry(rect);
    show();
    RecalcLayout();
    return true;
}

void CBusyProgressCtrl::PreSubclassWindow() { RecalcLayout(); }

bool CBusyProgressCtrl::SubclassDlgItem(int id, QWidget* parent)
{
    QWidget* item = parent ? GetDlgItem(parent, id) : nullptr;
    if (item == nullptr)
        return false;
    if (item != this) {
        setParent(parent);
        setGeometry(item->geometry());
        stackUnder(item);
        setVisible(!item->isHidden());
        SetDlgCtrlID(this, id);
        SetDlgCtrlID(item, 0);
        item->hide();
        item->deleteLater();
    }
    PreSubclassWindow();
    return true;
}

CBusyProgressCtrl::LRESULT CBusyProgressCtrl::SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam)
{
    if (QThread::currentThread() == thread())
        return OnBusyRequest(msg, wParam, lParam);
    std::lock_guard send(m_sendMutex);
    {
        std::lock_guard lock(m_requestMutex);
        m_request = {msg, wParam, lParam, 0};
    }
    QMetaObject::invokeMethod(this, "OnCrossThreadRequest", Qt::BlockingQueuedConnection);
    std::lock_guard lock(m_requestMutex);
    return m_request.result;
}

void CBusyProgressCtrl::OnCrossThreadRequest()
{
    CrossThreadRequest request;
    {
        std::lock_guard lock(m_requestMutex);
        request = m_request;
    }
    const LRESULT result = OnBusyRequest(request.msg, request.wParam, request.lParam);
    std::lock_guard lock(m_requestMutex);
    m_request.result = result;
}

bool CBusyProgressCtrl::event(QEvent* event)
{
    if (event->type() == CBusyRequestEvent::EventType()) {
        const auto* request = static_cast<CBusyRequestEvent*>(event);
        OnBusyRequest(request->Message(), request->WParam(), request->LParam());
        return true;
    }
    return QLabel::event(event);
}

CBusyProgressCtrl::LRESULT CBusyProgressCtrl::OnBusyRequest(unsigned msg, WPARAM wParam, LPARAM lParam)
{
    const int value = ArgInt(wParam);
    const auto color = static_cast<COLORREF>(wParam);
    switch (msg) {
    case WM_BUSY_SETBLOCKCOUNT:
        m_nBlockCount = value;
        RecalcLayout();
        RequestRepaint();
        break;
    case WM_BUSY_SETPOSITION:
        m_nPosition = value;
        RequestRepaint();
        break;
    case WM_BUSY_SETGAP:
        m_nGap = value;
        RecalcLayout();
        RequestRepaint();
        break;
    case WM_BUSY_SETINTERVAL:
        m_nInterval = value;
        break;
    case WM_BUSY_SETRANGE:
        m_nRangeMin = value;
        m_nRangeMax = ArgInt(static_cast<std::uintptr_t>(lParam));
        break;
    case WM_BUSY_SETMODE:
        SetMode(value);
        break;
    case WM_BUSY_START:
        Start();
        break;
    case WM_BUSY_STOP:
        Stop();
        break;
    case WM_BUSY_STEP:
        Step();
        break;
    case WM_BUSY_SETMOTION:
        SetMotion(value);
        break;
    case WM_BUSY_SETFILLSTYLE:
        SetFillStyle(value);
        break;
    case WM_BUSY_SETSUBSTEPS:
        m_nSubSteps = value;
        SetFillStyle(m_nFillStyle);
        break;
    case WM_BUSY_SETBACKCOLOR:
        m_crBack = color;
        RequestRepaint();
        break;
    case WM_BUSY_SETBLOCKCOLOR:
        m_crBlock = color;
        RequestRepaint();
        break;
    case WM_BUSY_SETBLOCKBORDERCOLOR:
        m_crBlockBorder = color;
        RequestRepaint();
        break;
    case WM_BUSY_SETLITCOLOR:
        m_crLit = color;
        RequestRepaint();
        break;
    case WM_BUSY_SETLITBORDERCOLOR:
        m_crLitBorder = color;
        RequestRepaint();
        break;
    case WM_BUSY_RECALC:
        RecalcLayout();
        break;
    case WM_BUSY_RESET:
        Reset();
        break;
    case WM_BUSY_FOLLOWSYSCOLOR:
        SetFollowSysColor(wParam != 0);
        break;
    default:
        break;
    }
    return 0;
}

void CBusyProgressCtrl::RecalcLayout()
{
    if (m_rcClient.isEmpty())
        m_rcClient = rect();
    const int count = m_nBlockCount;
    // The row fills the width but for one trailing gap. No blocks, no width.
    const long long spare = m_rcClient.width() - static_cast<long long>(count) * m_nGap;
    m_dBlockWidth = count != 0 ? static_cast<double>(spare) / count : 0.0;
    m_dBlockHeight = m_rcClient.height();
}

void CBusyProgressCtrl::Start()
{
    if ((m_nMode & 1) == 0)
        return;
    std::lock_guard lock(m_threadMutex);
    StopLocked();
    // Late threads that have ended since can go now.
    std::erase_if(m_stoppedThreads, [](const auto& late) { return late->Finished(); });
    // Set before the thread exists, so that a Stop arriving before the thread's first step still
    // ends it; the thread then has no earlier thread's flag to wait for.
    m_bRunning = true;
    auto animation = std::make_unique<AnimationThread>();
    try {
        animation->thread = std::thread([this, self = animation.get()] { Animate(*self); });
    } catch (const std::system_error&) {
        m_bRunning = false; // no thread, no animation
        return;
    }
    m_pThread = std::move(animation);
}

void CBusyProgressCtrl::Stop()
{
    std::lock_guard lock(m_threadMutex);
    StopLocked();
}

void CBusyProgressCtrl::StopLocked()
{
    m_bRunning = false;
    if (!m_pThread)
        return;
    AnimationThread& animation = *m_pThread;
    animation.RequestStop();
    bool finished = false;
    {
        std::unique_lock threadLock(animation.mutex);
        finished = animation.wake.wait_for(threadLock, Milliseconds(2LL * m_nInterval), [&] { return animation.done; });
    }
    if (finished)
        m_pThread.reset();
    else
        m_stoppedThreads.push_back(std::move(m_pThread)); // still running: must not be destroyed
}

void CBusyProgressCtrl::Animate(AnimationThread& self)
{
    // A thread told to stop ends even if a newer Start has set m_bRunning again; it leaves the flag
    // alone when it ends, since by then it belongs to its successor or was cleared by Stop.
    std::unique_lock lock(self.mutex);
    while (!self.stop && m_bRunning) {
        lock.unlock();
        Step();
        lock.lock();
        self.wake.wait_for(lock, Milliseconds(m_nInterval), [&] { return self.stop; });
    }
    self.done = true;
    lock.unlock();
    self.wake.notify_all();
}

void CBusyProgressCtrl::Step()
{
    if (m_nMode & 1) {
        const int style = m_nFillStyle;
        long long limit = 0;
        if (style == 1)
            limit = m_nBlockCount;
        else if (style == 2)
            limit = m_nTotalSubSteps;
        const int position = m_nPosition;
        switch (m_nMotion) {
        case 1: // bounce; at position 0 the second test wins
            if (position >= limit - 1)
                m_nDirection = -1;
            if (position <= 0)
                m_nDirection = 1;
            break;
        case 2: // forward: from the last block to the first
            if (position == limit - 1)
                m_nPosition = -1;
            break;
        case 4: // backward: from the first block to the last
            if (position == 0)
                m_nPosition = ClampToInt(limit);
            break;
        default:
            break;
        }
    }
    // Wraps rather than overflows when motion leaves the position unbounded.
    m_nPosition = static_cast<int>(static_cast<unsigned>(static_cast<int>(m_nPosition))
                                   + static_cast<unsigned>(static_cast<int>(m_nDirection)));
    RequestRepaint();
}

void CBusyProgressCtrl::Reset()
{
    if (m_nMode == 1 && m_nMotion == 4) {
        const long long blocks = m_nBlockCount;
        m_nPosition = ClampToInt(m_nFillStyle == 2 ? blocks * m_nSubSteps : blocks);
        m_nDirection = -1;
    } else {
        m_nPosition = 0;
        m_nDirection = 1;
    }
}

void CBusyProgressCtrl::SetMode(int nMode)
{
    Stop();
    if (m_nMode != 1 && m_nMode != 2)
        return;
    m_nMode = nMode;
    if (nMode == 2)
        m_nDirection = 1;
}

void CBusyProgressCtrl::SetMotion(int nMotion)
{
    m_nMotion = nMotion;
    if (m_nMode != 1)
        return;
    if (nMotion == 2)
        m_nDirection = 1;
    else if (nMotion == 4)
        m_nDirection = -1;
}

void CBusyProgressCtrl::SetFillStyle(int nFillStyle)
{
    if (m_nMode != 1)
        return;
    m_nFillStyle = nFillStyle;
    Reset();
    if (nFillStyle == 2)
        m_nTotalSubSteps = ClampToInt(static_cast<long long>(m_nSubSteps) * m_nBlockCount);
}

void CBusyProgressCtrl::SetFollowSysColor(bool bFollow)
{
    m_bFollowSysColor = bFollow;
    if (bFollow)
        m_crBack = ButtonFaceColor();
    RequestRepaint();
}

void CBusyProgressCtrl::RequestRepaint()
{
    if (QThread::currentThread() == thread()) {
        update();
        return;
    }
    // From another thread: one queued repaint at a time, however fast the steps come.
    if (!m_bRepaintPending.exchange(true))
        QMetaObject::invokeMethod(this, "OnRepaintRequested", Qt::QueuedConnection);
}

void CBusyProgressCtrl::OnRepaintRequested()
{
    m_bRepaintPending = false;
    update();
}

void CBusyProgressCtrl::ReleaseBuffer()
{
    m_dcMem.reset(); // the painter ends before its image goes
    m_bmpBuffer = QImage();
}

void CBusyProgressCtrl::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    // The buffer takes the new size at the next paint; the block layout waits for RecalcLayout.
    m_rcClient = rect();
    ReleaseBuffer();
}

void CBusyProgressCtrl::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_bFollowSysColor) {
        m_crBack = ButtonFaceColor();
        RequestRepaint();
    }
}

void CBusyProgressCtrl::paintEvent(QPaintEvent*)
{
    if (m_rcClient.isEmpty())
        return;
    // On a high-density screen the buffer has device pixels, so the one-pixel frames stay sharp;
    // moving to a screen of another density recreates it like a resize does.
    const qreal ratio = devicePixelRatioF();
    if (m_dcMem && m_bmpBuffer.devicePixelRatio() != ratio)
        ReleaseBuffer();
    if (!m_dcMem) {
        m_bmpBuffer = QImage(m_rcClient.size() * ratio, QImage::Format_RGB32);
        if (m_bmpBuffer.isNull())
            return;
        m_bmpBuffer.setDevicePixelRatio(ratio);
        m_dcMem = std::make_unique<QPainter>(&m_bmpBuffer);
    }
    DrawBackground(*m_dcMem, m_rcClient);
    DrawBlocks(*m_dcMem);
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_bmpBuffer);
}

void CBusyProgressCtrl::DrawBlocks(QPainter& dc)
{
    const int count = m_nBlockCount;
    // More blocks than pixel columns cannot be shown, and would make a paint as slow as the count
    // is large; such a row, like an empty one, draws no blocks.
    if (count <= 0 || count > m_rcClient.width())
        return;
    const int mode = m_nMode;
    const int fillStyle = m_nFillStyle;
    const int position = m_nPosition;
    const double blockWidth = m_dBlockWidth;

    // Bar drawing: f is the lit length in blocks. A zero divisor lights nothing; f is held within
    // the row, which draws the same as the unbounded value and keeps the truncations in range.
    bool bar = false;
    double divisor = 0.0;
    if (mode & 1) {
        bar = fillStyle == 2;
        divisor = m_nTotalSubSteps;
    } else if (mode & 2) {
        bar = true;
        divisor = static_cast<double>(m_nRangeMax) - m_nRangeMin;
    }
    const double f = divisor != 0.0 ? std::clamp(position / divisor * count, 0.0, double(count)) : 0.0;
    const int lit = Truncate(f);
    const int partial = Truncate((f - 1.0 - (lit - 1)) * blockWidth);

    const QPen oldPen = dc.pen();
    const QBrush oldBrush = dc.brush();
    dc.setPen(QPen(ToQColor(m_crBlockBorder), 0));
    dc.setBrush(ToQColor(m_crBlock));
    const int bottom = Truncate(m_dBlockHeight);
    QRect block = FromEdges(0, 0, Truncate(blockWidth), bottom);
    double x = 0.0;
    for (int i = 0; i < count; ++i) {
        if (bar) {
            if (i <= lit - 1) {
                DrawLitBlock(dc, block);
            } else {
                DrawBlock(dc, block);
                if (i == lit && partial != 0)
                    DrawPartialBlock(dc, block, partial);
            }
        } else if ((mode & 1) && fillStyle == 1) {
            if (i == position)
                DrawLitBlock(dc, block);
            else
                DrawBlock(dc, block);
        }
        x = x + (m_nGap + blockWidth);
        block = FromEdges(Truncate(x), 0, Truncate(x + blockWidth), bottom);
    }
    dc.setPen(oldPen);
    dc.setBrush(oldBrush);
}

void CBusyProgressCtrl::DrawBackground(QPainter& dc, const QRect& rect) { FillSolidRect(dc, rect, m_crBack); }

void CBusyProgressCtrl::DrawBlock(QPainter& dc, const QRect& rect) { Rectangle(dc, rect); }

void CBusyProgressCtrl::DrawLitBlock(QPainter& dc, const QRect& rect)
{
    const QPen oldPen = dc.pen();
    const QBrush oldBrush = dc.brush();
    dc.setPen(QPen(ToQColor(m_crLitBorder), 0));
    dc.setBrush(ToQColor(m_crLit));
    Rectangle(dc, rect);
    dc.setPen(oldPen);
    dc.setBrush(oldBrush);
}

void CBusyProgressCtrl::DrawPartialBlock(QPainter& dc, const QRect& rect, int nWidth)
{
    // Inside the frame, and never onto the frame's right edge.
    const int blockRight = rect.x() + rect.width();
    const QRect inner = rect.adjusted(1, 1, -1, -1);
    int right = inner.x() + nWidth;
    if (right >= blockRight)
        right = blockRight - 1;
    FillSolidRect(dc, FromEdges(inner.x(), inner.y(), right, inner.y() + inner.height()), m_crLit);
}

void CBusyProgressCtrl::Rectangle(QPainter& dc, const QRect& rect)
{
    if (rect.isEmpty())
        return;
    if (dc.pen().style() == Qt::NoPen) {
        dc.fillRect(rect, dc.brush());
        return;
    }
    dc.fillRect(rect, dc.pen().color());
    const QRect inside = rect.adjusted(1, 1, -1, -1);
    if (!inside.isEmpty())
        dc.fillRect(inside, dc.brush());
}

void CBusyProgressCtrl::FillSolidRect(QPainter& dc, const QRect& rect, COLORREF color)
{
    if (!rect.isEmpty())
        dc.fillRect(rect, ToQColor(color));
}

QColor CBusyProgressCtrl::ToQColor(COLORREF color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

CBusyProgressCtrl::COLORREF CBusyProgressCtrl::ToColorRef(const QColor& color)
{
    return static_cast<COLORREF>(color.red()) | static_cast<COLORREF>(color.green()) << 8
        | static_cast<COLORREF>(color.blue()) << 16;
}

CBusyProgressCtrl::COLORREF CBusyProgressCtrl::ButtonFaceColor() const
{
    return ToColorRef(palette().color(QPalette::Button));
}
