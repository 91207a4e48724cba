#include "forms/chaser/pictures.h"

#include "greeting.xpm"
#include "growl.xpm"
#include "smiley.xpm"

const rt::Picture& GreetingPicture()
{
    static const rt::Picture picture = rt::Picture::FromXpm("greeting", greeting_xpm);
    return picture;
}

const rt::Picture& GrowlPicture()
{
    static const rt::Picture picture = rt::Picture::FromXpm("growl", growl_xpm);
    return picture;
}

const rt::Picture& SmileyIcon()
{
    static const rt::Picture picture = rt::Picture::FromXpm("smiley", smiley_xpm);
    return picture;
}
