#pragma once

// The two alerts that screens show again and again. Both return a new Alert that
// is not shown yet: the caller sets its callback and calls show(), after which the
// alert owns itself. An alert that is never shown must be deleted by the caller.
// Main thread only.

class Alert;
class QString;

class AlertViewHelper {
public:
    AlertViewHelper() = delete;

    // A name prompt: the given title, an empty one-line text field, the cancel
    // button "Cancel" (index 0) and "Create" (index 1), whatever the title says.
    // The callback receives the field's text with the button index.
    static Alert *alertViewWithTitle(const QString& title);

    // A message without title and with the single cancel button "OK" (index 0),
    // for a failure the user must acknowledge; news that needs no answer is a
    // Notice, which leaves the keyboard where it was.
    static Alert *alertMessage(const QString& message);
};
