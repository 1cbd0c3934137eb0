#pragma once
// An animated busy indicator: a row of equal blocks with small gaps, painted entirely by the control
// through an off-screen buffer. In busy mode a lit block runs along the row (or a lit bar grows and
// shrinks), moved one step per interval by an animation thread of the control's own; in progress mode
// the lit part of the row shows a position within a range. Clients set the public members directly,
// call the operations, or send the twenty numbered requests below.
#include <QEvent>
#include <QImage>
#include <QLabel>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QPainter;

// Numbered requests, wParam/lParam as documented at each. Every request answers 0.
enum BusyRequest : unsigned {
    WM_BUSY_SETBLOCKCOUNT = 0x401, // block count; relayout, repaint (total sub-steps kept)
    WM_BUSY_SETPOSITION = 0x402,   // position; repaint
    WM_BUSY_SETGAP = 0x403,        // gap in pixels; relayout, repaint
    WM_BUSY_SETINTERVAL = 0x404,   // milliseconds; a running animation uses it from its next pause
    WM_BUSY_SETRANGE = 0x405,      // minimum, maximum
    WM_BUSY_SETMODE = 0x406,       // mode
    WM_BUSY_START = 0x407,
    WM_BUSY_STOP = 0x408,
    WM_BUSY_STEP = 0x409,
    WM_BUSY_SETMOTION = 0x40A,    // motion
    WM_BUSY_SETFILLSTYLE = 0x40B, // fill style
    WM_BUSY_SETSUBSTEPS = 0x40C,  // steps per block; then re-applies the fill style
    WM_BUSY_SETBACKCOLOR = 0x40D, // colours are 0x00BBGGRR; each repaints
    WM_BUSY_SETBLOCKCOLOR = 0x40E,
    WM_BUSY_SETBLOCKBORDERCOLOR = 0x40F,
    WM_BUSY_SETLITCOLOR = 0x410,
    WM_BUSY_SETLITBORDERCOLOR = 0x411,
    WM_BUSY_RECALC = 0x412,
    WM_BUSY_RESET = 0x413,
    WM_BUSY_FOLLOWSYSCOLOR = 0x414, // nonzero = follow the palette's button colour
};

// A numbered request delivered as an event, posted or sent to the control.
class CBusyRequestEvent : public QEvent {
public:
    explicit CBusyRequestEvent(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    static QEvent::Type EventType();

    unsigned Message() const { return m_msg; }
    std::uintptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }

private:
    unsigned m_msg;
    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
};

// An int that several threads read and write where only the value matters, never the ordering of
// other memory around it: a torn or stale-by-one-step value is acceptable, a data race is not.
template <class T>
class RelaxedAtomic {
public:
    constexpr RelaxedAtomic(T value = T()) noexcept : m_value(value) {}
    RelaxedAtomic(const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator=(const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator=(T value) noexcept
    {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator T() const noexcept { return m_value.load(std::memory_order_relaxed); }

private:
    std::atomic<T> m_value;
};

class CBusyProgressCtrl : public QLabel {
    Q_OBJECT
public:
    using COLORREF = std::uint32_t; // 0x00BBGGRR
    using WPARAM = std::uintptr_t;
    using LPARAM = std::intptr_t;
    using LRESULT = std::intptr_t;
    struct AnimationThread;

    explicit CBusyProgressCtrl(int nBlockCount = 10, int nPosition = 0, QWidget* parent = nullptr);
    ~CBusyProgressCtrl() override;

    // Makes the control a child of `parent` with the given geometry and id, then measures it.
    // False without a parent.
    virtual bool Create(QWidget* parent, const QRect& rect, int id);
    // For a control that takes over a dialog item: run once its geometry is set; measures at once.
    virtual void PreSubclassWindow();
    // Takes the place of the dialog item `id` of `parent` (geometry, id, visibility), retires that
    // item and measures. True also when the item already is this control; false if there is none.
    bool SubclassDlgItem(int id, QWidget* parent);

    // Carries out a numbered request on the control's thread; from any other thread it waits until
    // the control's thread has done it (that thread must be running its event loop). Answers 0.
    LRESULT SendMessage(unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Start, Stop, Step and Reset may be called from any thread; the others on the control's.
    // Block width and height from the client rectangle and gap; no repaint.
    void RecalcLayout();
    // Busy mode only: stops any running animation, then animates from the current position, the
    // first step at once. Returns at once; if no thread can be started, nothing animates.
    void Start();
    // Ends the animation, waiting at most 2 x m_nInterval; a thread that outlasts the wait is kept
    // and joined later, never destroyed while it runs. Does not rewind.
    void Stop();
    // One step of the position (bounded by the motion in busy mode); repaints.
    void Step();
    // Back to the starting position and direction for the mode, motion and fill style; no repaint.
    void Reset();
    void SetMode(int nMode);           // stops first; changes only from mode 1 or 2
    void SetMotion(int nMotion);       // in busy mode, motion 2 and 4 also set the direction
    void SetFillStyle(int nFillStyle); // busy mode only; rewinds
    void SetFollowSysColor(bool bFollow);

    // Drawing on the off-screen buffer; subclasses may draw differently.
    virtual void DrawBackground(QPainter& dc, const QRect& rect);
    virtual void DrawBlock(QPainter& dc, const QRect& rect);
    virtual void DrawLitBlock(QPainter& dc, const QRect& rect);
    virtual void DrawPartialBlock(QPainter& dc, const QRect& rect, int nWidth);

    // The frame-and-fill primitive the blocks use: a one-pixel frame in the painter's pen colour on
    // the rectangle's outermost pixels, the inside filled with its brush. Drawn with fills so the
    // pixels are exact whatever the painter's render hints.
    static void Rectangle(QPainter& dc, const QRect& rect);
    static void FillSolidRect(QPainter& dc, const QRect& rect, COLORREF color);
    static QColor ToQColor(COLORREF color);
    static COLORREF ToColorRef(const QColor& color);
    // The platform's button-face colour: the Button role of the control's current palette.
    COLORREF ButtonFaceColor() const;

    // State, in the documented order. The integers the animation thread or a caller on another
    // thread may touch are relaxed atomics; they read and assign like plain ints.
    RelaxedAtomic<int> m_nBlockCount;
    RelaxedAtomic<int> m_nDirection{1};
    RelaxedAtomic<int> m_nPosition;
    QRect m_rcClient; // client rectangle as last read; empty until then
    int m_nGap = 1;
    double m_dBlockHeight = 0.0;
    double m_dBlockWidth = 0.0;
    std::unique_ptr<AnimationThread> m_pThread; // the current animation thread, if any
    std::atomic<bool> m_bRunning{false};
    RelaxedAtomic<int> m_nInterval{100};
    RelaxedAtomic<int> m_nMode{1}; // bit 0: busy; else bit 1: progress
    int m_nRangeMin = 0;
    int m_nRangeMax = 100;
    bool m_bFollowSysColor = true;
    RelaxedAtomic<int> m_nMotion{1};    // 1 bounce, 2 forward, 4 backward
    RelaxedAtomic<int> m_nFillStyle{1}; // 1 single lit block, 2 lit bar with a partial head
    RelaxedAtomic<int> m_nSubSteps{5};
    RelaxedAtomic<int> m_nTotalSubSteps;
    COLORREF m_crBack;
    COLORREF m_crBlock = 0xDCBEA0;
    COLORREF m_crBlockBorder = 0x875A32;
    COLORREF m_crLit = 0xFFDCBE;
    COLORREF m_crLitBorder = 0x875A32;
    std::unique_ptr<QPainter> m_dcMem; // open on m_bmpBuffer from the first paint to the next resize
    QImage m_bmpBuffer;                // off-screen buffer of the size of m_rcClient

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    LRESULT OnBusyRequest(unsigned msg, WPARAM wParam, LPARAM lParam);

private slots:
    void OnRepaintRequested();
    void OnCrossThreadRequest();

private:
    // A request from another thread. Its arguments and answer pass through these members under a
    // std::mutex rather than inside the queued call, so the hand-over is visible to race checkers,
    // which cannot see Qt's own futex-based locking.
    struct CrossThreadRequest {
        unsigned msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        LRESULT result = 0;
    };

    void DrawBlocks(QPainter& dc);
    void StopLocked();
    void Animate(AnimationThread& self);
    void RequestRepaint();
    void ReleaseBuffer();

    std::mutex m_threadMutex; // serialises Start, Stop and the destructor over the thread objects
    // Threads whose Stop ran out of time: kept (never destroyed while running) and joined later.
    std::vector<std::unique_ptr<AnimationThread>> m_stoppedThreads;
    std::atomic<bool> m_bRepaintPending{false};
    std::mutex m_sendMutex;    // one cross-thread request at a time
    std::mutex m_requestMutex; // guards m_request
    CrossThreadRequest m_request;
};
