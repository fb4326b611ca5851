#include "rules/records/printpages.h"

namespace {

// Text as HTML shows it: markup characters escaped, line breaks kept.
QString shown(const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    return html;
}

QString page(const QString& title, const QString& body)
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><style>"
                          "body{font-size:10pt} h1{font-size:14pt} table{border-collapse:collapse}"
                          "td,th{border:1px solid #888;padding:3px 6px;vertical-align:top} th{background:#eee}"
                          "</style></head><body><h1>") +
           shown(title) + QStringLiteral("</h1>") + body + QStringLiteral("</body></html>");
}

}  // namespace

QString cardPage(const QString& title, const QList<QPair<QString, QString>>& fields)
{
    QString rows;
    for (const auto& [name, value] : fields)
        rows += QStringLiteral("<tr><th align=\"left\">") + shown(name) + QStringLiteral("</th><td>") + shown(value) +
                QStringLiteral("</td></tr>");
    return page(title, QStringLiteral("<table width=\"100%\">") + rows + QStringLiteral("</table>"));
}

QString listPage(const QString& title, const QStringList& columns, const QList<QStringList>& rows)
{
    QString html = QStringLiteral("<table width=\"100%\"><thead><tr>");
    for (const QString& c : columns)
        html += QStringLiteral("<th>") + shown(c) + QStringLiteral("</th>");
    html += QStringLiteral("</tr></thead><tbody>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (qsizetype i = 0; i < columns.size(); ++i)
            html += QStringLiteral("<td>") + shown(row.value(i)) + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    return page(title, html + QStringLiteral("</tbody></table>"));
}
