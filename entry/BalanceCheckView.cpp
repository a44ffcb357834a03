#include "entry/BalanceCheckView.h"

#include "entry/AmountText.h"
#include "generation/BalanceCheck.h"
#include "services/Twips.h"
#include "services/UserLocale.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cmath>
#include <optional>

namespace entry {
namespace {

QLabel* makeLine(QWidget* frame, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* label = new QLabel(text, frame);
    label->setObjectName(QLatin1String(name));
    label->setFocusPolicy(Qt::NoFocus);
    // Over the picture box that lies there: moves and clicks reach it as before.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setIndent(services::px(60));
    services::place(label, left, top, width, height);
    return label;
}

QStringList textsOf(const QList<QLineEdit*>& boxes)
{
    QStringList texts;
    for (const QLineEdit* box : boxes)
        texts << box->text();
    return texts;
}

QString shown(std::optional<double> amount)
{
    return amount ? formatAmount(*amount, services::userLocale()) : QString();
}

} // namespace

BalanceCheckView::BalanceCheckView(QWidget* frame, QList<QLineEdit*> assetAmounts, QList<QLineEdit*> liabilityAmounts,
                                   const BalanceCheckPlaces& places)
    : QObject(frame), assetAmounts_(std::move(assetAmounts)), liabilityAmounts_(std::move(liabilityAmounts))
{
    const auto& p = places;
    const auto top = [&](int line) { return p.firstTop + line * p.rowStep; };
    totalAssetsCaption = makeLine(frame, "lblTotalAssets", QStringLiteral("Total assets"), p.captionLeft, top(0),
                                  p.captionWidth, p.height);
    totalAssets = makeLine(frame, "lblTotalAssetsAmount", {}, p.amountLeft, top(0), p.amountWidth, p.height);
    totalLiabilitiesCaption = makeLine(frame, "lblTotalLiabilities", QStringLiteral("Total liabilities & equity"),
                                       p.captionLeft, top(1), p.captionWidth, p.height);
    totalLiabilities = makeLine(frame, "lblTotalLiabilitiesAmount", {}, p.amountLeft, top(1), p.amountWidth, p.height);
    differenceCaption =
        makeLine(frame, "lblDifference", QStringLiteral("Difference"), p.captionLeft, top(2), p.captionWidth, p.height);
    difference = makeLine(frame, "lblDifferenceAmount", {}, p.amountLeft, top(2), p.amountWidth, p.height);
    // On the difference's line, at the right of its caption.
    verdict = makeLine(frame, "lblBalanceVerdict", {}, p.captionLeft, top(2), p.captionWidth, p.height);
    verdict->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = verdict->font();
    bold.setBold(true);
    verdict->setFont(bold);

    for (QLineEdit* box : assetAmounts_ + liabilityAmounts_)
        connect(box, &QLineEdit::textChanged, this, &BalanceCheckView::scheduleRefresh);
}

void BalanceCheckView::scheduleRefresh()
{
    // Reset and sample change 24 boxes at once: one computation for all.
    if (std::exchange(refreshPending_, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_)
            refresh();
    });
}

void BalanceCheckView::refresh()
{
    refreshPending_ = false;
    const generation::BalanceTotals totals =
        generation::balanceTotals(textsOf(assetAmounts_), textsOf(liabilityAmounts_));
    totalAssets->setText(shown(totals.assets));
    totalLiabilities->setText(shown(totals.liabilitiesAndEquity));
    if (!totals.assets || !totals.liabilitiesAndEquity) {
        difference->clear();
        verdict->setText(QStringLiteral("Not complete"));
        return;
    }
    const double gap = *totals.assets - *totals.liabilitiesAndEquity;
    // The sheet's amounts are whole cents at most.
    const bool balanced = std::abs(gap) < 0.005;
    difference->setText(shown(balanced ? 0.0 : gap));
    verdict->setText(balanced ? QStringLiteral("In balance") : QStringLiteral("Out of balance"));
}

} // namespace entry
