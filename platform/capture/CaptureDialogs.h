#pragma once

class CaptureControl;
class QWidget;

// The capture driver's own dialogs. Each is modal and applies its choice to
// the capture control, which keeps it across runs.
class CaptureDialogs final {
public:
    // Picture controls, changed live while the sliders move; Cancel
    // restores the values the dialog opened with.
    static void ShowSourceDialog(CaptureControl& capture, QWidget* parent);
    // Frame size the device delivers.
    static void ShowFormatDialog(CaptureControl& capture, QWidget* parent);
    // Video codec of the AVI files and its quality.
    static void ShowCompressionDialog(CaptureControl& capture, QWidget* parent);
    // Sample rate and channels of the recorded sound.
    static void ShowAudioFormatDialog(CaptureControl& capture, QWidget* parent);
};
