// AutocenterMOD with small stand-in forms.
#include <gtest/gtest.h>

#include "modules/AutocenterMOD.h"
#include "platform/sim/sim_desktop.h"

using namespace rt;
using namespace AutocenterMOD;

namespace {

Form::Design design(const std::string& name, Single width)
{
    Form::Design d;
    d.name = name;
    d.borderStyle = 0;
    d.clientWidth = width;
    d.clientHeight = 9180;
    return d;
}

const Label::Look plain{};

// A form laid out like the crash page: one frame on the form holding a label,
// and one label straight on the form.
struct StandIn : Form {
    Frame Panel;
    Label Inside;
    Label OnForm;
    explicit StandIn(const std::string& name = "StandIn", Single width = 11145, Single onFormLeft = 405)
        : Form(design(name, width)),
          Panel(*this, *this, "Panel", {1035, 2520, 9360, 5430}, {}, ""),
          Inside(*this, Panel, "Inside", {3570, 315, 1815, 255}, plain, ""),
          OnForm(*this, *this, "OnForm", {onFormLeft, 100, 500, 255}, plain, "")
    {
    }
};

// A control whose container cannot be told: asking raises the given error.
struct Unplaceable : Label {
    int error;
    Unplaceable(Form& f, int error) : Label(f, f, "Unplaceable", {700, 0, 100, 100}, plain, ""), error(error)
    {
    }
    Object& Container() const override { throw RuntimeError(error); }
};

int errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

class Autocenter : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    Application app{desk};  // a fresh program: an empty table
};

}  // namespace

TEST_F(Autocenter, EmptyTableFindsNothingAndMovesNothing)
{
    EXPECT_EQ(ArrayCount(FormLayouts()).value(), 0);
    EXPECT_FALSE(IsFormRegistered("StandIn"));
    EXPECT_EQ(FindFormIndex("StandIn").value(), -1);
    StandIn form;
    form.Width(20000);
    form.Panel.Left(1);
    CenterControls(form);
    EXPECT_EQ(form.Panel.Left(), 1);
    EXPECT_EQ(form.OnForm.Left(), 405);
}

TEST_F(Autocenter, RegistersOnceByExactNameAndRecordsTheDesignLayout)
{
    StandIn form;
    RegisterForm(form);
    ASSERT_EQ(ArrayCount(FormLayouts()).value(), 1);
    const FormLayout& rec = FormLayouts()(0);
    EXPECT_EQ(rec.Name, "StandIn");
    EXPECT_EQ(rec.Width, 11145);
    EXPECT_EQ(rec.Height, 9180);
    ASSERT_EQ(rec.ControlLefts.UBound().value(), 2);
    EXPECT_EQ(rec.ControlLefts(0).value(), 1035);
    EXPECT_EQ(rec.ControlLefts(1).value(), 3570);
    EXPECT_EQ(rec.ControlLefts(2).value(), 405);

    // A second registration changes nothing, whatever changed on the form.
    form.Width(15360);
    form.Panel.Left(9);
    RegisterForm(form);
    EXPECT_EQ(ArrayCount(FormLayouts()).value(), 1);
    EXPECT_EQ(FormLayouts()(0).Width, 11145);
    EXPECT_EQ(FormLayouts()(0).ControlLefts(0).value(), 1035);

    // Names that differ only in case are two forms.
    StandIn other("standin");
    RegisterForm(other);
    EXPECT_EQ(ArrayCount(FormLayouts()).value(), 2);
    EXPECT_EQ(FindFormIndex("standin").value(), 1);
    EXPECT_EQ(FindFormIndex("STANDIN").value(), -1);
}

TEST_F(Autocenter, ALeftBeyondTheIntegerRangeRaisesOverflowAndLeavesThatElementZero)
{
    StandIn form("Wide", 11145, 40000);
    EXPECT_EQ(errorOf([&] { RegisterForm(form); }), 6);
    ASSERT_TRUE(IsFormRegistered("Wide"));
    const FormLayout& rec = FormLayouts()(0);
    ASSERT_EQ(rec.ControlLefts.UBound().value(), 2);
    EXPECT_EQ(rec.ControlLefts(2).value(), 0);
    StandIn negative("Negative", 11145, -32769);
    EXPECT_EQ(errorOf([&] { RegisterForm(negative); }), 6);
    StandIn edge("Edge", 11145, -32768);
    EXPECT_EQ(errorOf([&] { RegisterForm(edge); }), 0);
}

TEST_F(Autocenter, RecentringShiftsOnlyControlsOnTheFormByHalfTheGrowthRoundedToEven)
{
    StandIn form;
    RegisterForm(form);
    form.Width(15360);  // shift 2107.5 -> 2108
    CenterControls(form);
    EXPECT_EQ(form.Panel.Left(), 1035 + 2108);
    EXPECT_EQ(form.OnForm.Left(), 405 + 2108);
    EXPECT_EQ(form.Inside.Left(), 3570);  // inside the frame: moves with it

    form.Width(15358);  // shift 2106.5 -> 2106
    CenterControls(form);
    EXPECT_EQ(form.Panel.Left(), 1035 + 2106);

    form.Width(9000);  // narrower than recorded: back to the recorded Left, never left of it
    CenterControls(form);
    EXPECT_EQ(form.Panel.Left(), 1035);
    EXPECT_EQ(form.OnForm.Left(), 405);
}

TEST_F(Autocenter, MoreControlsThanRecordedRaisesSubscriptAtTheFirstExtraOneOnTheForm)
{
    StandIn form;
    RegisterForm(form);
    Label extraInFrame(form, form.Panel, "ExtraInFrame", {0, 0, 10, 10}, plain,
                       "");  // skipped: inside a frame
    Label extra(form, form, "Extra", {50, 0, 10, 10}, plain, "");
    form.Width(15360);
    EXPECT_EQ(errorOf([&] { CenterControls(form); }), 9);
    EXPECT_EQ(form.Panel.Left(), 1035 + 2108);  // the recorded ones moved first
    EXPECT_EQ(form.OnForm.Left(), 405 + 2108);
    EXPECT_EQ(extra.Left(), 50);
}

TEST_F(Autocenter, ErrorTwentyOneHundredInTheContainerTestStillRepositionsTheControl)
{
    StandIn form;
    Unplaceable odd(form, 2100);
    RegisterForm(form);
    form.Width(15360);
    CenterControls(form);
    EXPECT_EQ(odd.Left(), 700 + 2108);
    EXPECT_EQ(form.Inside.Left(), 3570);

    // Any other number goes back to the caller unchanged.
    StandIn second("Second");
    Unplaceable worse(second, 5);
    RegisterForm(second);
    EXPECT_EQ(errorOf([&] { CenterControls(second); }), 5);
}

TEST_F(Autocenter, SixteenBitLoopCounterOverflowsOnAFullTable)
{
    FormLayouts().ReDimPreserve(32767);  // 32768 records
    EXPECT_EQ(ArrayCount(FormLayouts()).value(), 32768);
    EXPECT_EQ(errorOf([] { (void)FindFormIndex("absent"); }), 6);
    EXPECT_EQ(errorOf([] { (void)IsFormRegistered("absent"); }), 6);
    EXPECT_EQ(MaxLong(-5, 0).value(), 0);
    EXPECT_EQ(MaxLong(7, 7).value(), 7);
}
