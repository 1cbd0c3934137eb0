#include "framework/Dialog.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), m_nTemplateId(templateId) {}

CDialog::~CDialog() = default;

QWidget* CDialog::CreateControl(const DialogItem& item)
{
    const QString text = item.text ? QString::fromLatin1(item.text) : QString();
    switch (item.kind) {
    case ControlKind::Static: {
        // A left-aligned static: text from the top left corner, wrapped at word breaks.
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    case ControlKind::PushButton:
    case ControlKind::PictureButton: {
        // A plain push button acts on its own click only: Enter elsewhere in the page presses none.
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // The field keeps what the user types: the list offers the entries, nothing completes them.
        combo->setCompleter(nullptr);
        return combo;
    }
    case ControlKind::ListView: {
        auto* list = new QTableWidget(this);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Tab goes on to the next control, as in any dialog, instead of from cell to cell.
        list->setTabKeyNavigation(false);
        list->verticalHeader()->hide();
        // Rows as tight as a report-style list's: one line of text and a little air.
        list->verticalHeader()->setMinimumSectionSize(1);
        list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
        list->setShowGrid(false);
        list->setWordWrap(false);
        list->horizontalHeader()->setHighlightSections(false);
        return list;
    }
    case ControlKind::TabControl:
        break;
    }
    return new QWidget(this);
}

bool CDialog::BuildFromTemplate()
{
    if (m_bBuilt)
        return true;
    const DialogTemplate* t = FindDialogTemplate(m_nTemplateId);
    if (t == nullptr)
        return false;
    setFont(DialogFont(*t));
    const QSize baseUnits = DialogBaseUnits(font());
    resize(DialogUnitsToPixels(QRect(0, 0, t->cx, t->cy), baseUnits).size());
    if (t->caption && *t->caption)
        setWindowTitle(QString::fromLatin1(t->caption));
    for (const DialogItem& item : t->items) {
        QWidget* control = CreateControl(item);
        SetDlgCtrlID(control, item.id);
        QRect r = DialogUnitsToPixels(QRect(item.x, item.y, item.cx, item.cy), baseUnits);
        // A combo box's template height includes its drop-down list; the field itself is one line.
        if (item.kind == ControlKind::ComboBox)
            r.setHeight(std::min(r.height(), control->sizeHint().height()));
        control->setGeometry(r);
        control->show();
    }
    m_bBuilt = true;
    DoDataExchange();
    return true;
}

void CDialog::mousePressEvent(QMouseEvent* event)
{
    QDialog::mousePressEvent(event);
    KeepInPage(event);
}

void CDialog::mouseReleaseEvent(QMouseEvent* event)
{
    QDialog::mouseReleaseEvent(event);
    KeepInPage(event);
}

void CDialog::mouseDoubleClickEvent(QMouseEvent* event)
{
    QDialog::mouseDoubleClickEvent(event);
    KeepInPage(event);
}

void CDialog::KeepInPage(QMouseEvent* event)
{
    // A click on a page's background belongs to the page. Passed on, it would reach the window the
    // page lives in: the page tabs, which switch pages on a press.
    if (!isWindow())
        event->accept();
}

void CDialog::reject()
{
    if (isWindow())
        QDialog::reject();
}

bool CDialog::Create(int templateId, QWidget* parent)
{
    if (!m_bBuilt)
        m_nTemplateId = templateId;
    setParent(parent, Qt::Widget);
    setAutoFillBackground(true); // a child dialog paints its own background
    if (!BuildFromTemplate())
        return false;
    OnInitDialog();
    return true;
}

bool CDialog::InitModeless()
{
    if (!BuildFromTemplate())
        return false;
    OnInitDialog();
    return true;
}

int CDialog::DoModal()
{
    if (!InitModeless())
        return -1;
    return exec();
}
