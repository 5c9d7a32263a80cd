#include "mainwin/file_list.h"

#include <mutex>

#include "mainwin/list_logic.h"
#include "mainwin/sort_rows.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr std::size_t HeaderChars = 199;
constexpr std::size_t RowTextChars = 399;
constexpr int FileImage = 0;
constexpr int FolderImage = 1;

long FirstSelected(wxListCtrl* list) {
  return list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}
}  // namespace

FileListView::FileListView() : images_(16, 16, true, 1) {}

void FileListView::Attach(wxListCtrl* list) {
  list_ = list;
  images_.Add(ResourceModule::Icon(20));
  images_.Add(ResourceModule::Icon(10));
  const auto header = [](int string) { return ResourceModule::String(string).Left(HeaderChars); };
  list_->InsertColumn(0, header(102), wxLIST_FORMAT_LEFT, 145);
  list_->InsertColumn(1, header(109), wxLIST_FORMAT_RIGHT, 40);
  list_->InsertColumn(2, header(104), wxLIST_FORMAT_RIGHT, 65);
  list_->InsertColumn(3, header(103), wxLIST_FORMAT_RIGHT, 100);
  list_->SetImageList(&images_, wxIMAGE_LIST_SMALL);
}

void FileListView::Empty() {
  list_->DeleteAllItems();
  rows_.clear();
}

ListingCounts FileListView::Fill(const SiteEntry& site) {
  Empty();
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    rows_ = site.listing;
  }
  ListingCounts counts;
  list_->Freeze();
  char size[16];
  for (const ListingEntry& e : rows_) {
    const long row = list_->InsertItem(list_->GetItemCount(), ToDisplayText(e.name),
                                       e.isFolder ? FolderImage : FileImage);
    list_->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(&e));
    list_->SetItem(row, 2,
                   e.isFolder ? wxString() : wxString(FormatFileSize(e.size, size, sizeof size)));
    list_->SetItem(row, 3, ToDisplayText(e.date));
    if (e.isFolder) {
      ++counts.folders;
    } else {
      std::string ext;
      if (FileExtension(e.name, &ext)) list_->SetItem(row, 1, ToDisplayText(ext));
      ++counts.files;
      counts.totalSize += static_cast<float>(e.size);
    }
  }
  Sort(CompNameFile, 1);
  list_->Thaw();
  return counts;
}

void FileListView::Sort(const TLwComparator& comparator, int flag) {
  SortRows(list_, comparator, flag);
}

std::string FileListView::SelectedName() const {
  const long row = FirstSelected(list_);
  if (row == -1) return {};
  return list_->GetItemText(row).ToStdString(wxConvUTF8).substr(0, RowTextChars);
}

bool FileListView::HasSelection() const { return FirstSelected(list_) != -1; }

bool FileListView::SelectedIsFolder() const {
  const long row = FirstSelected(list_);
  if (row == -1) return false;
  wxListItem item;
  item.SetId(row);
  item.SetMask(wxLIST_MASK_IMAGE);
  list_->GetItem(item);
  return item.GetImage() == FolderImage;
}

}  // namespace qb
