#pragma once

#include <string>
#include <utility>

// How a step went: ok, or failed with a text saying why (the text a spot's reply carries
// and the log shows).
class Outcome
{
public:
    static Outcome ok()
    {
        return Outcome (std::string());
    }

    // A failure always has a text: an empty one becomes "Unknown Error".
    static Outcome fail (std::string why)
    {
        return Outcome (why.empty() ? std::string ("Unknown Error") : std::move (why));
    }

    bool wasOk() const
    {
        return errorText.empty();
    }

    bool failed() const
    {
        return !errorText.empty();
    }

    const std::string& errorMessage() const&
    {
        return errorText;
    }

    // The text taken out, not copied (a spot's may be megabytes).
    std::string errorMessage() &&
    {
        return std::move (errorText);
    }

private:
    explicit Outcome (std::string why)
        : errorText (std::move (why))
    {
    }

    std::string errorText;
};
