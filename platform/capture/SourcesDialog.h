#pragma once

class CaptureControl;
class QWidget;

// The network cameras and recorded videos listed in the Video Device menu:
// added, edited, tried out and removed. The list is stored on OK and the
// menu shows it from the next start, as it shows the cameras found then.
class SourcesDialog final {
public:
    static void ShowSourcesDialog(CaptureControl& capture, QWidget* parent);
};
