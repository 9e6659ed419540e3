// Fendrake's stand-in for the Java tour page's media script: the skin's
// values reach the page through the style block before this script.
var g_mediaScriptLoaded = true;
