// A movie that loads a level, data, music and a level chosen at run time, and opens a page.
import flash.net.URLRequest;

class Loads {
    static function main() {
        var level = Std.random(3);
        var loader = new flash.display.Loader();
        loader.load(new URLRequest("levels/intro.swf"));
        new flash.net.URLLoader(new URLRequest("data/config.xml?v=2"));
        new flash.media.Sound(new URLRequest("http://cdn.example.com/music/theme.mp3"));
        loader.load(new URLRequest("levels/level" + level + ".swf"));
        flash.Lib.getURL(new URLRequest("http://example.com/more-games.html"), "_blank");
    }
}
