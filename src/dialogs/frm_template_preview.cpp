#include "dialogs/frm_template_preview.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>

#include "dialogs/widgets.h"
#include "support/files.h"

namespace tessarine::dialogs {
namespace {

// Room around each thumbnail in the gallery's grid, for the name below it and
// the selection frame around it.
constexpr int kGridMarginX = 24;
constexpr int kGridMarginY = 44;

// A picture file decoded by its content (a preview saved as PNG under the
// name preview.gif still shows); a null image when it cannot be read.
QImage ReadPicture(const QString& path) {
  if (!support::FileExists(Std(path))) return {};
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  return reader.read();
}

// Every device pixel ratio a thumbnail may be shown at: 1 and each screen's.
std::vector<qreal> DevicePixelRatios() {
  std::vector<qreal> ratios{1.0};
  for (const QScreen* screen : QGuiApplication::screens()) {
    const qreal ratio = screen->devicePixelRatio();
    if (ratio > 0 && std::find(ratios.begin(), ratios.end(), ratio) == ratios.end()) {
      ratios.push_back(ratio);
    }
  }
  return ratios;
}

// Drawn in the palette's colours, so it sits quietly in light and dark themes.
void DrawPlaceholder(QPainter& painter, const QString& name) {
  const QPalette palette = QGuiApplication::palette();
  const QRectF frame(8.5, 8.5, kThumbnailWidth - 17, kThumbnailHeight - 17);
  painter.setPen(QPen(palette.color(QPalette::Mid), 1, Qt::DashLine));
  painter.setBrush(palette.color(QPalette::AlternateBase));
  painter.drawRoundedRect(frame, 6, 6);

  QFont font = QGuiApplication::font();
  font.setPointSizeF(font.pointSizeF() * 1.4);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(palette.color(QPalette::PlaceholderText));
  const QRectF text_box = frame.adjusted(16, 16, -16, -16);
  const QString shown = QFontMetricsF(font).elidedText(name, Qt::ElideMiddle, text_box.width());
  painter.drawText(text_box, Qt::AlignCenter, shown);
}

QPixmap ComposeThumbnail(const QImage& picture, const QString& name, qreal ratio) {
  QImage canvas(QSize(static_cast<int>(std::lround(kThumbnailWidth * ratio)),
                      static_cast<int>(std::lround(kThumbnailHeight * ratio))),
                QImage::Format_ARGB32_Premultiplied);
  canvas.setDevicePixelRatio(ratio);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                         QPainter::TextAntialiasing);
  if (picture.isNull()) {
    DrawPlaceholder(painter, name);
  } else {
    const QRectF target = ThumbnailRect(QSizeF(picture.size()));
    // Resampled once to the device pixels it covers: a screenshot drawn
    // straight into a much smaller rectangle comes out jagged.
    const QSize device_size = (target.size() * ratio).toSize().expandedTo(QSize(1, 1));
    const QImage scaled =
        picture.size() == device_size
            ? picture
            : picture.scaled(device_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target, scaled);
  }
  painter.end();
  return QPixmap::fromImage(canvas);
}

// Each thumbnail sits on a framed card the size of the box, so pictures of
// any size and colour line up, and the selection shows as a frame around the
// card instead of a tint over the picture.
class ThumbnailDelegate final : public QStyledItemDelegate {
  // Room around the item for the selection frame, which the view would clip.
  static constexpr int kFrameRoom = 4;

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(2 * kFrameRoom, 2 * kFrameRoom);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& outer,
             const QModelIndex& index) const override {
    QStyleOptionViewItem option = outer;
    option.rect = outer.rect.adjusted(kFrameRoom, kFrameRoom, -kFrameRoom, -kFrameRoom);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* view = option.widget;
    const QStyle* style = view != nullptr ? view->style() : QApplication::style();
    const QRectF card =
        QRectF(style->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, view));
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(option.palette.color(QPalette::Base));
    if (selected) {
      painter->setPen(QPen(option.palette.color(QPalette::Highlight), 3));
      painter->drawRoundedRect(card.adjusted(-3.5, -3.5, 3.5, 3.5), 5, 5);
    } else {
      painter->setPen(QPen(option.palette.color(QPalette::Midlight), 1));
      painter->drawRoundedRect(card.adjusted(-1.5, -1.5, 1.5, 1.5), 3, 3);
    }
    painter->restore();
    QStyledItemDelegate::paint(painter, option, index);
  }
};

}  // namespace

QRectF ThumbnailRect(QSizeF picture, QSizeF box) {
  if (picture.isEmpty()) return {QPointF(box.width() / 2, box.height() / 2), QSizeF(0, 0)};
  const double natural_width = picture.width();
  const double natural_height = picture.height();
  double width = natural_width;
  double height = natural_height;
  if (height > box.height()) {
    width = natural_width * box.height() / natural_height;
    height = box.height();
  }
  // From the natural size again, not from the height step's result.
  if (width > box.width()) {
    height = natural_height * box.width() / natural_width;
    width = box.width();
  }
  return {(box.width() - width) / 2, (box.height() - height) / 2, width, height};
}

QIcon TemplateThumbnail(const QString& template_folder, const QString& name) {
  QImage picture = ReadPicture(template_folder + name + QStringLiteral("/preview.gif"));
  // A damaged preview falls back like a missing one.
  if (picture.isNull()) picture = ReadPicture(template_folder + QStringLiteral("nopreview.gif"));
  QIcon icon;
  for (const qreal ratio : DevicePixelRatios()) {
    const QPixmap thumbnail = ComposeThumbnail(picture, name, ratio);
    icon.addPixmap(thumbnail, QIcon::Normal);
    // Shown as it is when selected: the style would tint the picture.
    icon.addPixmap(thumbnail, QIcon::Selected);
  }
  return icon;
}

FrmTemplatePreview::FrmTemplatePreview(const QStringList& templates, const QString& template_folder,
                                       QWidget* parent, const QString& current)
    : QDialog(parent) {
  setObjectName(QStringLiteral("frmTemplatePreview"));
  setWindowTitle(tr("Tessarine - 模板预览"));
  if (parent != nullptr) setWindowIcon(parent->window()->windowIcon());

  const QSize icon_size(static_cast<int>(kThumbnailWidth), static_cast<int>(kThumbnailHeight));
  const QSize grid(icon_size.width() + kGridMarginX, icon_size.height() + kGridMarginY);
  ListView1_ = new QListWidget(this);
  ListView1_->setObjectName(QStringLiteral("ListView1"));
  ListView1_->setViewMode(QListView::IconMode);
  ListView1_->setIconSize(icon_size);
  ListView1_->setGridSize(grid);
  ListView1_->setMovement(QListView::Static);
  ListView1_->setResizeMode(QListView::Adjust);
  ListView1_->setUniformItemSizes(true);
  ListView1_->setTextElideMode(Qt::ElideMiddle);
  ListView1_->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1_->setItemDelegate(new ThumbnailDelegate(ListView1_));

  for (const QString& name : templates) {
    auto* item = new QListWidgetItem(TemplateThumbnail(template_folder, name), name, ListView1_);
    item->setToolTip(name);
    if (!current.isEmpty() && name == current) ListView1_->setCurrentItem(item);
  }

  cmdOK_ = new QPushButton(tr("确 定"), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setDefault(true);
  cmdExit_ = new QPushButton(tr("取 消"), this);
  cmdExit_->setObjectName(QStringLiteral("cmdExit"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdExit_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ListView1_);
  layout->addLayout(buttons);

  // Two thumbnails side by side, and two rows when there are more.
  const int frame = 2 * ListView1_->frameWidth();
  const int scroll_bar = ListView1_->verticalScrollBar()->sizeHint().width();
  ListView1_->setMinimumSize(2 * grid.width() + frame + scroll_bar + 4, grid.height() + frame);
  const int rows = templates.size() > 2 ? 2 : 1;
  resize(sizeHint().width(), sizeHint().height() + (rows - 1) * grid.height());

  connect(cmdOK_, &QPushButton::clicked, this, [this] {
    const QList<QListWidgetItem*> chosen = ListView1_->selectedItems();
    if (!chosen.isEmpty()) Choose(chosen.first()->text());
  });
  connect(cmdExit_, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListView1_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { Choose(item->text()); });
  connect(ListView1_, &QListWidget::itemSelectionChanged, this, &FrmTemplatePreview::UpdateEnabled);
  UpdateEnabled();
}

void FrmTemplatePreview::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only now does the view know its width, and so where the current item is.
  if (QListWidgetItem* item = ListView1_->currentItem()) ListView1_->scrollToItem(item);
}

void FrmTemplatePreview::Choose(const QString& name) {
  selected_ = name;
  accept();
}

// OK needs a template to apply: without a selection it is off, so it can
// never set an empty template name.
void FrmTemplatePreview::UpdateEnabled() {
  cmdOK_->setEnabled(!ListView1_->selectedItems().isEmpty());
}

}  // namespace tessarine::dialogs
